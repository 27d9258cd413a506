#pragma once

#include <string>

// The two ways a download travels. The choice is made here and nowhere else.
enum class TransferKind {
  // One HTTP GET (retried, resumed with Range) on the download's own thread:
  // download/direct_transfer.h.
  kDirect,
  // A job of the background transfer service, polled until it ends: download/transfer_job.h.
  kBackgroundJob,
};

// URLs that carry their own signature take the direct transfer: the signature expires, the
// background service may hold a job back far longer, and the platform's service starts with a
// HEAD request that a URL signed for GET is refused. Every other URL takes a background job.
TransferKind ChooseTransferKind(const std::u16string& url);

// True for a URL whose query carries a signature that a storage service checks against this
// very request: a parameter named X-Amz-Algorithm or X-Amz-Signature (any AWS region, dual-stack
// or accelerated endpoint, and the stores that speak the same protocol), X-Goog-Algorithm or
// X-Goog-Signature, or a shared-access signature (sig, se and sv together). Parameter names are
// compared without case; a name inside a value or in the path does not count.
bool HasQuerySignature(const std::u16string& url);

// The first rule there was, kept as one case of HasQuerySignature's: the storage host name
// "s3.amazonaws.com" and "x-amz-algorithm=" anywhere in the URL, in any case.
bool IsPresignedS3Url(const std::u16string& url);
