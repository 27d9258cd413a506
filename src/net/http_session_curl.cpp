// The program's HTTP session on libcurl (net/http_session.h).
#include <curl/curl.h>

#include <string>
#include <vector>

#include "base/hresult.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "log/logger.h"
#include "net/content_range.h"
#include "net/curl_support_curl.h"
#include "net/http_session.h"

namespace {

using Clock = std::chrono::steady_clock;

// One request's answer as libcurl's callbacks see it. libcurl reports the head of every answer,
// redirects it follows included; only the final answer goes to the receiver.
struct Exchange {
  HttpAnswerReceiver& receiver;
  const std::atomic<bool>& cancel;
  std::chrono::milliseconds idleLimit;
  HttpAnswerHead head = {};
  bool headGiven = false;      // the receiver has the current answer's head
  TransferError stopped = {};  // what the receiver ended the request with
  // libcurl has no send/receive limit of its own: idleness is measured from the moment a
  // connection stands (the connect limit covers what comes before).
  bool connected = false;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t sent = 0;
  curl_off_t received = 0;

  bool IsRedirect() const { return head.status >= 300 && head.status < 400; }

  // Where libcurl may still follow a redirect, its head waits for the end of the exchange.
  bool GiveHead() {
    headGiven = true;
    stopped = receiver.OnHead(head);
    return !stopped;
  }
};

size_t OnHeader(char* line, size_t size, size_t count, void* context) {
  auto* x = static_cast<Exchange*>(context);
  const size_t length = size * count;
  x->lastActivity = Clock::now();
  long status = 0;
  uint64_t contentLength = 0;
  if (ParseStatusLine(line, length, status)) {
    x->head = HttpAnswerHead{};
    x->head.status = static_cast<uint32_t>(status);
    x->headGiven = false;
  } else if (ParseContentLength(line, length, contentLength)) {
    x->head.contentLength = contentLength;
  } else if (const auto range = HeaderValue(line, length, "content-range")) {
    x->head.contentRangeFirstByte = ContentRangeFirstByte(*range);
    x->head.contentRangeTotal = ContentRangeTotal(*range);
  } else if (const auto etag = HeaderValue(line, length, "etag")) {
    x->head.etag = std::string(*etag);
  } else if (const auto modified = HeaderValue(line, length, "last-modified")) {
    x->head.lastModified = std::string(*modified);
  } else if (const auto type = HeaderValue(line, length, "content-type")) {
    x->head.contentType = std::string(*type);
  } else if (const auto ranges = HeaderValue(line, length, "accept-ranges")) {
    x->head.acceptsByteRanges = *ranges == "bytes";
  } else if ((length == 2 && line[0] == '\r') || (length == 1 && line[0] == '\n')) {
    // 1xx heads precede the real one; redirects are given once libcurl did not follow them.
    if (x->head.status >= 200 && !x->IsRedirect() && !x->GiveHead()) return 0;
  }
  return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* x = static_cast<Exchange*>(context);
  const size_t length = size * count;
  if (!x->headGiven || length == 0) return length;  // a redirect's body: read and dropped
  x->stopped = x->receiver.OnBody(data, length);
  return x->stopped ? 0 : length;
}

int OnConnected(void* context, char*, char*, int, int) {
  auto* x = static_cast<Exchange*>(context);
  x->connected = true;
  x->lastActivity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

int OnTick(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* x = static_cast<Exchange*>(context);
  if (x->cancel.load()) return 1;
  if (!x->connected) return 0;
  const Clock::time_point now = Clock::now();
  if (sent != x->sent || received != x->received) {
    x->sent = sent;
    x->received = received;
    x->lastActivity = now;
  }
  return now - x->lastActivity > x->idleLimit ? 1 : 0;
}

class CurlHttpSession final : public HttpSession {
 public:
  CurlHttpSession(CurlEasy easy, const std::string& url, HttpSessionOptions options)
      : easy_(std::move(easy)),
        options_(std::move(options)),
        route_(options_.route ? *options_.route : ProxyRoute(url)) {
    // A route taken over from another session was logged there.
    if (route_.proxy() != nullptr) UseProxy(easy_.get(), *route_.proxy());
    if (!options_.route) Logger::Log(LogLevel::Info, options_.logCategory, route_.DescribeStart());
  }

  TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                    HttpAnswerReceiver& receiver) override {
    CURL* easy = easy_.get();
    const std::string positions = range.Positions();
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_RANGE, range.IsWholeFile() ? nullptr : positions.c_str());
    std::vector<std::string> lines = options_.headers;
    if (!range.IsWholeFile() && !range.ifRange.empty()) {
      lines.push_back("If-Range: " + range.ifRange);
    }
    return Request(std::move(lines), cancel, receiver);
  }

  TransferError Post(const std::string& contentType, const std::string& body,
                     const std::atomic<bool>& cancel, HttpAnswerReceiver& receiver) override {
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_RANGE, nullptr);
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    std::vector<std::string> lines = options_.headers;
    lines.push_back("Content-Type: " + contentType);
    // libcurl would add "Expect: 100-continue" to larger bodies (a pause with servers that
    // ignore it) and "Accept: */*"; WinHTTP sends neither with a post.
    lines.push_back("Expect:");
    lines.push_back("Accept:");
    const TransferError error = Request(std::move(lines), cancel, receiver);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
    return error;
  }

  const ProxyRoute& route() const override { return route_; }

 private:
  TransferError Request(std::vector<std::string> lines, const std::atomic<bool>& cancel,
                        HttpAnswerReceiver& receiver) {
    Exchange x{receiver, cancel, options_.idleLimit};
    CURL* easy = easy_.get();
    headers_ = MakeHeaderList(lines);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &x);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &x);
    const CURLcode code = Perform(x);
    if (cancel.load()) return TransferError(page_result::kCancelled);
    const uint32_t proxyRefusal = ProxyCredentialsWanted(easy);
    if (route_.proxy() != nullptr && (proxyRefusal != 0 || x.head.status == 407)) {
      Logger::Log(LogLevel::Error, options_.logCategory, route_.DescribeCredentialsWanted());
    }
    if (x.stopped) return x.stopped;
    // A redirect libcurl did not follow (from https to http, say) is the answer, even when the
    // attempt to follow it failed on the way.
    if (x.head.status != 0 && !x.headGiven && !x.GiveHead()) return x.stopped;
    if (proxyRefusal != 0) return TransferError(PageResultOfHttpStatus(proxyRefusal));
    return TransferError(WinHttpErrorFromCurl(code));
  }

  // On the current route, then on each next one the route takes after a connection that could
  // not be made (no answer came, so the exchange is still untouched for the next attempt).
  CURLcode Perform(Exchange& x) {
    CURL* easy = easy_.get();
    for (;;) {
      x.connected = false;
      const CURLcode code = curl_easy_perform(easy);
      // A time-out counts only where no connection stood: a stalled answer is no route's fault.
      curl_off_t connected = 0;
      curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
      const bool notMade = code != CURLE_OK &&
                           (code != CURLE_OPERATION_TIMEDOUT || connected == 0) &&
                           !x.cancel.load() && x.head.status == 0 && !x.stopped;
      std::string line;
      const bool next = notMade && route_.FallBack(WinHttpErrorFromCurl(code), line);
      if (!line.empty()) Logger::Log(LogLevel::Info, options_.logCategory, line);
      if (!next) return code;
      UseProxy(easy, *route_.proxy());
    }
  }

  CurlEasy easy_;
  CurlList headers_;  // the current request's, referred to by easy_
  HttpSessionOptions options_;
  ProxyRoute route_;
};

}  // namespace

uint32_t CheckHttpUrl(const std::u16string& url) {
  return CheckCurlRequestUrl(Utf16ToUtf8(url));
}

TransferError OpenHttpSession(const std::u16string& url, HttpSessionOptions options,
                              std::unique_ptr<HttpSession>& session) {
  const std::string target = Utf16ToUtf8(url);
  if (const uint32_t error = CheckCurlRequestUrl(target)) return TransferError(error);
  EnsureCurlGlobalInit();
  CurlEasy easy(curl_easy_init());
  if (!easy) return TransferError(page_result::kNotEnoughMemory);
  // Each request sets its own header list.
  SetCommonOptions(easy.get(), target, nullptr);
  curl_easy_setopt(easy.get(), CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options.connectLimit.count()));
  curl_easy_setopt(easy.get(), CURLOPT_FOLLOWLOCATION, options.followRedirects ? 1L : 0L);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &OnTick);
  curl_easy_setopt(easy.get(), CURLOPT_PREREQFUNCTION, &OnConnected);
  curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);
  session = std::make_unique<CurlHttpSession>(std::move(easy), target, std::move(options));
  return TransferError();
}
