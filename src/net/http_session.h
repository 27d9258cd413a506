#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/proxy_route.h"
#include "net/transfer_error.h"

// The program's one HTTP client: a session of requests to one URL, over the platform's client
// (libcurl in http_session_curl.cpp, WinHTTP in http_session_winhttp.cpp). It sends the request
// and streams the answer back to a receiver; every decision about what to ask for and what to do
// with the answer is the caller's (download/direct_transfer.h, the Linux job, the webhook).
//
// Both backends promise:
// - failures are WinHTTP or Win32 error numbers (base/hresult.h), whichever client carries them;
// - the route of net/proxy_route.h: direct, then the user's proxy, then the machine's default
//   one, each taken once a connection could not be made, the request then sent again; a 407
//   from a proxy is logged and ends there;
// - the options' user agent and header lines on every request; their connect and idle limits;
// - with redirects followed, only between http and https URLs and never from https to http:
//   such a redirect is then the final answer, whose status the receiver sees;
// - the cancel flag is watched throughout: once set, a request returns page_result::kCancelled
//   (within about 10 ms with WinHTTP, at libcurl's next progress tick, at most about 1 s, with
//   libcurl), even while the server sends nothing.

// The user agent of the program's requests: a browser's, so that a download looks to the
// server like the page's own.
inline constexpr char kHttpUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/139.0.0.0 Safari/537.36 Edg/139.0.0.0";

// The final answer's status line and the headers the callers decide on.
struct HttpAnswerHead {
  uint32_t status = 0;
  std::optional<uint64_t> contentLength;          // nullopt when absent or not a number
  std::optional<uint64_t> contentRangeFirstByte;  // nullopt when absent or malformed
  std::optional<uint64_t> contentRangeTotal;      // nullopt when absent, malformed or "*"
  std::string contentType;                        // empty when absent
  std::string etag;                               // the ETag header's value; empty when absent
  std::string lastModified;                       // the Last-Modified header's; empty when absent
  bool acceptsByteRanges = false;                 // "Accept-Ranges: bytes"
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

// Told of one answer, on the thread that made the request. A failure returned from either call
// abandons the request, and the request returns that same failure.
class HttpAnswerReceiver {
 public:
  virtual ~HttpAnswerReceiver() = default;
  // Once per request that gets a final answer, before any of its body.
  virtual TransferError OnHead(const HttpAnswerHead& head) = 0;
  // The final answer's body in order, in pieces of at most kFileWriteBlockBytes; never empty.
  virtual TransferError OnBody(const char* data, size_t size) = 0;
};

struct HttpSessionOptions {
  std::string userAgent = kHttpUserAgent;
  // Header lines (without line ends) sent with every request besides the client's own.
  std::vector<std::string> headers;
  // Name resolution, connecting and the TLS handshake.
  std::chrono::milliseconds connectLimit{60'000};
  // Once connected: the longest a request may go without sending or receiving anything.
  std::chrono::milliseconds idleLimit{86'400'000};
  bool followRedirects = true;
  // The log category of the route's lines.
  std::string logCategory = "Engine.Download";
  // A decision already made for this URL (another session's route()): the session starts where
  // that one ended instead of direct.
  std::optional<ProxyRoute> route;
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;

  // One GET for `range`, its answer streamed to `receiver`. No failure once the body ended as
  // the connection says it did: a body shorter than its Content-Length is the caller's to
  // notice. `cancel` is read from this thread only while the request runs.
  virtual TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                            HttpAnswerReceiver& receiver) = 0;

  // One POST of `body` as `contentType`, its answer streamed to `receiver` like a GET's.
  virtual TransferError Post(const std::string& contentType, const std::string& body,
                             const std::atomic<bool>& cancel, HttpAnswerReceiver& receiver) = 0;

  // The route as decided so far. Read it from the thread that makes the requests, or while
  // none runs.
  virtual const ProxyRoute& route() const = 0;
};

// 0 when a session can be opened for `url` (OpenHttpSession), else its failure: 12005 for a URL
// the platform's client cannot read, 12006 for a scheme other than http and https.
uint32_t CheckHttpUrl(const std::u16string& url);

// A session for requests to `url`, reusing its connection between them where the client can.
// Fails, with `session` left empty, for a URL the platform's client cannot fetch: 12005 for one
// it cannot read, 12006 for a scheme other than http and https.
TransferError OpenHttpSession(const std::u16string& url, HttpSessionOptions options,
                              std::unique_ptr<HttpSession>& session);
