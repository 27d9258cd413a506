#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/file_write_watcher.h"
#include "download/transfer_error.h"

// One HTTP GET at a time to one URL, the layer under the direct transfer: the platform's client
// sends the request and streams the answer back to a receiver; every decision about what to ask
// for and what to do with the answer is the caller's (download/direct_transfer.h).
//
// Both backends (libcurl in http_get_curl.cpp, WinHTTP in http_get_winhttp.cpp) promise:
// - failures are WinHTTP or Win32 error numbers (base/hresult.h), whichever client carries them;
// - direct, then the system's proxy if that cannot connect (base/proxy_route.h); the request
//   headers of download/request_headers.h; 60 s to resolve and connect, 24 h for the rest;
// - redirects followed between http and https URLs, never from https to http: such a redirect
//   is then the final answer, whose status the receiver sees;
// - the cancel flag is watched throughout: once set, Get returns page_result::kCancelled (within
//   about 10 ms with WinHTTP, at libcurl's next progress tick, at most about 1 s, with libcurl),
//   even while the server sends nothing.

// The final answer's status line and the headers the transfers decide on.
struct HttpAnswerHead {
  uint32_t status = 0;
  std::optional<uint64_t> contentLength;          // nullopt when absent or not a number
  std::optional<uint64_t> contentRangeFirstByte;  // nullopt when absent or malformed
  std::optional<uint64_t> contentRangeTotal;      // nullopt when absent, malformed or "*"
  std::string contentType;                        // empty when absent
  std::string etag;                               // the ETag header's value; empty when absent
  std::string lastModified;                       // the Last-Modified header's; empty when absent
};

// What If-Range may carry for the file an answer sends: a strong ETag, else Last-Modified (a
// weak ETag never matches there); empty when the answer has neither.
inline std::string IfRangeValidator(const HttpAnswerHead& head) {
  if (!head.etag.empty() && head.etag.rfind("W/", 0) != 0) return head.etag;
  return head.lastModified;
}

// The bytes one Get asks for: "Range: bytes=first-" or "bytes=first-last", and no Range header
// at all for the whole file (first 0, no last) unless `fromZero` asks for "bytes=0-", to learn
// whether the server serves ranges. With a Range, a non-empty `ifRange` is sent as
// "If-Range: <ifRange>" (an ETag or an HTTP date), so that a changed file comes back whole.
struct HttpGetRange {
  uint64_t first = 0;
  std::optional<uint64_t> last;  // inclusive
  std::string ifRange;
  bool fromZero = false;

  bool IsWholeFile() const { return first == 0 && !last && !fromZero; }
  // "first-" or "first-last", as a Range header names them after "bytes=".
  std::string Positions() const {
    return std::to_string(first) + "-" + (last ? std::to_string(*last) : std::string());
  }
};

// Told of one answer, on the thread that called Get. A failure returned from either call
// abandons the request, and Get returns that same failure.
class HttpAnswerReceiver {
 public:
  virtual ~HttpAnswerReceiver() = default;
  // Once per Get that gets a final answer, before any of its body.
  virtual TransferError OnHead(const HttpAnswerHead& head) = 0;
  // The final answer's body in order, in pieces of at most kFileWriteBlockBytes; never empty.
  virtual TransferError OnBody(const char* data, size_t size) = 0;
};

class HttpGetSession {
 public:
  virtual ~HttpGetSession() = default;

  // One request for `range`, its answer streamed to `receiver`. No failure once the body
  // ended as the connection says it did: a body shorter than its Content-Length is the
  // caller's to notice. `cancel` is read from this thread only while Get runs.
  virtual TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                            HttpAnswerReceiver& receiver) = 0;
};

// A session for GETs of `url`, reusing its connection between them where the client can.
// Fails, with `session` left empty, for a URL the platform's client cannot fetch: 12005 for one
// it cannot read, 12006 for a scheme other than http and https.
TransferError OpenHttpGetSession(const std::u16string& url,
                                 std::unique_ptr<HttpGetSession>& session);
