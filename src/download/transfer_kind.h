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

// Pre-signed storage URLs take the direct transfer: their signature expires, and the background
// service may hold a job back far longer. Every other URL takes a background job.
TransferKind ChooseTransferKind(const std::u16string& url);

// True for pre-signed storage URLs: the storage host name and a signature marker, in any case.
bool IsPresignedS3Url(const std::u16string& url);
