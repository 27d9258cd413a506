// The HTTP layer of the direct transfer on libcurl (download/http_get.h).
#include <curl/curl.h>

#include <string>
#include <vector>

#include "base/hresult.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/content_range.h"
#include "download/curl_support_curl.h"
#include "download/http_get.h"
#include "download/request_headers.h"
#include "log/logger.h"

namespace {

// The transfer's own limit stands in for WinHTTP's 24 h send and receive time-outs.
constexpr long kOverallTimeoutMs = 86400000L;

// One Get's answer as libcurl's callbacks see it. libcurl reports the head of every answer,
// redirects it follows included; only the final answer goes to the receiver.
struct Exchange {
  HttpAnswerReceiver& receiver;
  const std::atomic<bool>& cancel;
  HttpAnswerHead head = {};
  bool headGiven = false;      // the receiver has the current answer's head
  TransferError stopped = {};  // what the receiver ended the request with

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

int OnTick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Exchange*>(context)->cancel.load() ? 1 : 0;
}

constexpr char kCategory[] = "Engine.Download";

class CurlHttpGetSession final : public HttpGetSession {
 public:
  CurlHttpGetSession(CurlEasy easy, const std::string& url) : easy_(std::move(easy)), route_(url) {
    Logger::Log(LogLevel::Info, kCategory, route_.DescribeStart());
  }

  TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                    HttpAnswerReceiver& receiver) override {
    Exchange x{receiver, cancel};
    CURL* easy = easy_.get();
    const std::string positions = range.Positions();
    curl_easy_setopt(easy, CURLOPT_RANGE, range.IsWholeFile() ? nullptr : positions.c_str());
    std::vector<std::string> lines = DownloadHeaderLines();
    if (!range.IsWholeFile() && !range.ifRange.empty()) {
      lines.push_back("If-Range: " + range.ifRange);
    }
    headers_ = MakeHeaderList(lines);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &x);
    const CURLcode code = Perform();
    if (cancel.load()) return TransferError(page_result::kCancelled);
    const uint32_t proxyRefusal = ProxyCredentialsWanted(easy);
    if (route_.proxy() != nullptr && (proxyRefusal != 0 || x.head.status == 407)) {
      Logger::Log(LogLevel::Error, kCategory, route_.DescribeCredentialsWanted());
    }
    if (x.stopped) return x.stopped;
    // A redirect libcurl did not follow (from https to http, say) is the answer, even when the
    // attempt to follow it failed on the way.
    if (x.head.status != 0 && !x.headGiven && !x.GiveHead()) return x.stopped;
    if (proxyRefusal != 0) return TransferError(proxyRefusal);
    return TransferError(WinHttpErrorFromCurl(code));
  }

 private:
  // Direct, or through the system's proxy once a direct connection could not be made (no
  // answer came, so the exchange is still untouched for the second attempt).
  CURLcode Perform() {
    CURL* easy = easy_.get();
    CURLcode code = curl_easy_perform(easy);
    std::string line;
    // A time-out counts only where no connection stood: a stalled answer is no route's fault.
    curl_off_t connected = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
    const bool notMade = code != CURLE_OK && (code != CURLE_OPERATION_TIMEDOUT || connected == 0);
    if (notMade && route_.FallBack(WinHttpErrorFromCurl(code), line)) {
      Logger::Log(LogLevel::Info, kCategory, line);
      UseProxy(easy, *route_.proxy());
      code = curl_easy_perform(easy);
    } else if (!line.empty()) {
      Logger::Log(LogLevel::Info, kCategory, line);
    }
    return code;
  }

  CurlEasy easy_;
  CurlList headers_;  // the current request's, referred to by easy_
  ProxyRoute route_;
};

}  // namespace

TransferError OpenHttpGetSession(const std::u16string& url,
                                 std::unique_ptr<HttpGetSession>& session) {
  const std::string target = Utf16ToUtf8(url);
  if (const uint32_t error = CheckCurlDownloadUrl(target)) return TransferError(error);
  EnsureCurlGlobalInit();
  CurlEasy easy(curl_easy_init());
  if (!easy) return TransferError(page_result::kNotEnoughMemory);
  // Each Get sets its own header list.
  SetCommonOptions(easy.get(), target, nullptr);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, kOverallTimeoutMs);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &OnTick);
  curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);
  session = std::make_unique<CurlHttpGetSession>(std::move(easy), target);
  return TransferError();
}
