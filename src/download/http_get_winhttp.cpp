#include "download/http_get_winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <charconv>

#include "base/file_write_watcher.h"
#include "base/page_results.h"
#include "base/proxy_route.h"
#include "base/utf_convert.h"
#include "download/content_range.h"
#include "download/request_headers.h"
#include "download/transfer_error.h"
#include "log/logger.h"

namespace {

constexpr char16_t kAgent[] = u"Velmorante-Downloader/1.0";
constexpr size_t kReadBytes = kFileWriteBlockBytes;
constexpr int kResolveTimeoutMs = 60000;
constexpr int kConnectTimeoutMs = 60000;
constexpr int kSendTimeoutMs = 86400000;
constexpr int kReceiveTimeoutMs = 86400000;
// How often a wait looks at the cancel flag.
constexpr DWORD kCancelPollMs = 10;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

// Owned jointly by the HttpGet and, through a heap-held shared_ptr given to WinHTTP as the
// request's context, by WinHTTP until it reports the handle closed: a completion may arrive
// after the request was abandoned, and must find its event and buffer still there.
struct HttpGetContext {
  HttpGetContext() : done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~HttpGetContext() {
    if (done != nullptr) CloseHandle(done);
  }
  HttpGetContext(const HttpGetContext&) = delete;
  HttpGetContext& operator=(const HttpGetContext&) = delete;

  HANDLE done;      // set by each completion
  DWORD error = 0;  // of the last completion; 0 for success
  DWORD count = 0;  // bytes available or read, for those steps
  std::vector<char> buffer;
};

namespace {

using ContextHolder = std::shared_ptr<HttpGetContext>;

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information,
                              DWORD length) {
  auto* holder = reinterpret_cast<ContextHolder*>(context);
  if (holder == nullptr) return;
  HttpGetContext& c = **holder;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      c.error = 0;
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
      c.error = 0;
      c.count = *static_cast<const DWORD*>(information);
      break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      c.error = 0;
      c.count = length;
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      c.error = static_cast<const WINHTTP_ASYNC_RESULT*>(information)->dwError;
      break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
      delete holder;  // the last callback of the handle
      return;
    default:
      return;
  }
  SetEvent(c.done);
}

}  // namespace

uint32_t CrackHttpUrl(const std::u16string& url, HttpUrl& parts) {
  if (url.empty() || url.find(u'\0') != std::u16string::npos) return ERROR_WINHTTP_INVALID_URL;
  // Pointers into the URL rather than buffers of ours: a signed URL's query can be longer than
  // any fixed buffer would sensibly be.
  URL_COMPONENTS cracked{};
  cracked.dwStructSize = sizeof(cracked);
  cracked.dwSchemeLength = static_cast<DWORD>(-1);
  cracked.dwHostNameLength = static_cast<DWORD>(-1);
  cracked.dwUrlPathLength = static_cast<DWORD>(-1);
  cracked.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(Wide(url), static_cast<DWORD>(url.size()), 0, &cracked)) {
    return GetLastError();
  }
  if (cracked.nScheme != INTERNET_SCHEME_HTTP && cracked.nScheme != INTERNET_SCHEME_HTTPS) {
    return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
  }
  if (cracked.lpszHostName == nullptr || cracked.dwHostNameLength == 0) {
    return ERROR_WINHTTP_INVALID_URL;
  }
  const auto* host = reinterpret_cast<const char16_t*>(cracked.lpszHostName);
  parts.host.assign(host, cracked.dwHostNameLength);
  parts.port = cracked.nPort;
  parts.secure = cracked.nScheme == INTERNET_SCHEME_HTTPS;
  parts.pathAndQuery.clear();
  if (cracked.lpszUrlPath != nullptr) {
    parts.pathAndQuery.assign(reinterpret_cast<const char16_t*>(cracked.lpszUrlPath),
                              cracked.dwUrlPathLength);
  }
  if (cracked.lpszExtraInfo != nullptr) {
    // The fragment belongs to the client; the server must not see it.
    std::u16string_view extra(reinterpret_cast<const char16_t*>(cracked.lpszExtraInfo),
                              cracked.dwExtraInfoLength);
    parts.pathAndQuery.append(extra.substr(0, extra.find(u'#')));
  }
  if (parts.pathAndQuery.empty() || parts.pathAndQuery.front() != u'/') {
    parts.pathAndQuery.insert(0, 1, u'/');
  }
  return 0;
}

HttpConnection::~HttpConnection() {
  if (connection_ != nullptr) WinHttpCloseHandle(connection_);
  if (session_ != nullptr) WinHttpCloseHandle(session_);
}

uint32_t HttpConnection::Open(const std::u16string& agent, const HttpUrl& url) {
  agent_ = agent;
  host_ = url.host;
  port_ = url.port != 0 ? url.port
          : url.secure  ? INTERNET_DEFAULT_HTTPS_PORT
                        : INTERNET_DEFAULT_HTTP_PORT;
  return Connect(nullptr, nullptr);
}

uint32_t HttpConnection::UseProxy(const std::u16string& proxy, const std::u16string& bypass) {
  // A session of its own: the proxy given when the session opens is the one every WinHTTP takes
  // (Wine's ignores WINHTTP_OPTION_PROXY).
  if (connection_ != nullptr) WinHttpCloseHandle(connection_);
  if (session_ != nullptr) WinHttpCloseHandle(session_);
  connection_ = nullptr;
  session_ = nullptr;
  return Connect(Wide(proxy), bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : Wide(bypass));
}

uint32_t HttpConnection::Connect(const wchar_t* proxy, const wchar_t* bypass) {
  session_ =
      WinHttpOpen(Wide(agent_),
                  proxy != nullptr ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                  proxy != nullptr ? proxy : WINHTTP_NO_PROXY_NAME,
                  proxy != nullptr ? bypass : WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  if (session_ == nullptr) return GetLastError();
  DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
  WinHttpSetOption(session_, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
  connection_ = WinHttpConnect(session_, Wide(host_), port_, 0);
  if (connection_ == nullptr) return GetLastError();
  return 0;
}

HttpGet::HttpGet(const std::atomic<bool>& cancel) : cancel_(cancel) {}

HttpGet::~HttpGet() {
  Close();
}

uint32_t HttpGet::Open(const HttpConnection& connection, const HttpUrl& url,
                       const std::u16string& headers) {
  Close();
  request_ = WinHttpOpenRequest(connection.connection(), L"GET", Wide(url.pathAndQuery), nullptr,
                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                url.secure ? WINHTTP_FLAG_SECURE : 0);
  if (request_ == nullptr) return GetLastError();
  context_ = std::make_shared<HttpGetContext>();
  if (context_->done == nullptr) {
    const DWORD error = GetLastError();
    Close();
    return error;
  }

  // The context value first, then the callback: until both are in place no callback can
  // arrive, and a failure leaves the holder ours to free.
  auto* holder = new ContextHolder(context_);
  auto value = reinterpret_cast<DWORD_PTR>(holder);
  if (!WinHttpSetOption(request_, WINHTTP_OPTION_CONTEXT_VALUE, &value, sizeof(value)) ||
      WinHttpSetStatusCallback(
          request_, OnRequestStatus,
          WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
          0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    const DWORD error = GetLastError();
    delete holder;
    Close();
    return error;
  }
  contextValue_ = value;

  WinHttpSetTimeouts(request_, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                     kReceiveTimeoutMs);
  // The wait for the response's headers has a time-out of its own, shorter by default.
  DWORD headersTimeout = kReceiveTimeoutMs;
  WinHttpSetOption(request_, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                   sizeof(headersTimeout));
  if (!WinHttpAddRequestHeaders(request_, Wide(headers), static_cast<DWORD>(-1),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
    const DWORD error = GetLastError();
    Close();
    return error;
  }
  return 0;
}

uint32_t HttpGet::Send() {
  if (!WinHttpSendRequest(request_, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                          contextValue_)) {
    return GetLastError();
  }
  return Await();
}

uint32_t HttpGet::ReceiveResponse() {
  if (!WinHttpReceiveResponse(request_, nullptr)) return GetLastError();
  return Await();
}

uint32_t HttpGet::StatusCode(uint32_t& status) const {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!WinHttpQueryHeaders(request_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &value, &size, WINHTTP_NO_HEADER_INDEX)) {
    return GetLastError();
  }
  status = value;
  return 0;
}

std::optional<std::string> HttpGet::HeaderText(uint32_t query) const {
  DWORD size = 0;
  if (WinHttpQueryHeaders(request_, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &size, WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return std::nullopt;
  }
  std::u16string text(size / 2 + 1, u'\0');
  DWORD bytes = static_cast<DWORD>(text.size() * sizeof(char16_t));
  if (!WinHttpQueryHeaders(request_, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                           WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return Utf16ToUtf8(std::u16string_view(text.data(), bytes / 2));
}

std::optional<uint64_t> HttpGet::ContentLength() const {
  const std::optional<std::string> digits = HeaderText(WINHTTP_QUERY_CONTENT_LENGTH);
  if (!digits) return std::nullopt;
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits->data(), digits->data() + digits->size(), value);
  if (error != std::errc() || end == digits->data() || end != digits->data() + digits->size()) {
    return std::nullopt;
  }
  return value;
}

uint32_t HttpGet::QueryDataAvailable(uint32_t& available) {
  if (!WinHttpQueryDataAvailable(request_, nullptr)) return GetLastError();
  const uint32_t error = Await();
  if (error == 0) available = context_->count;
  return error;
}

uint32_t HttpGet::Read(uint32_t wanted, uint32_t& got) {
  std::vector<char>& buffer = context_->buffer;
  if (buffer.empty()) buffer.resize(kReadBytes);
  const DWORD asked = std::min<DWORD>(wanted, kReadBytes);
  if (!WinHttpReadData(request_, buffer.data(), asked, nullptr)) return GetLastError();
  const uint32_t error = Await();
  if (error == 0) got = std::min<DWORD>(context_->count, asked);
  return error;
}

const char* HttpGet::data() const {
  return context_->buffer.data();
}

namespace {

// Some WinHTTP implementations (Wine's among them) pass socket errors through as they are; the
// retry rule and the page know only WinHTTP's numbers for the same failures.
uint32_t AsWinHttpError(DWORD error) {
  switch (error) {
    case 10053:  // WSAECONNABORTED
    case 10054:  // WSAECONNRESET
      return ERROR_WINHTTP_CONNECTION_ERROR;
    case 10060:  // WSAETIMEDOUT
      return ERROR_WINHTTP_TIMEOUT;
    case 10061:  // WSAECONNREFUSED
      return ERROR_WINHTTP_CANNOT_CONNECT;
    default:
      return error;
  }
}

}  // namespace

uint32_t HttpGet::Await() {
  for (;;) {
    if (cancel_.load()) {
      Close();
      return page_result::kCancelled;
    }
    const DWORD waited = WaitForSingleObject(context_->done, kCancelPollMs);
    if (waited == WAIT_OBJECT_0) return AsWinHttpError(context_->error);
    if (waited != WAIT_TIMEOUT) {
      const DWORD error = GetLastError();
      Close();
      return error != 0 ? error : ERROR_GEN_FAILURE;
    }
  }
}

void HttpGet::Close() {
  if (request_ != nullptr) WinHttpCloseHandle(request_);
  request_ = nullptr;
  contextValue_ = 0;
  context_.reset();
}

namespace {

constexpr char kCategory[] = "Engine.Download";

class WinHttpGetSession final : public HttpGetSession {
 public:
  WinHttpGetSession(const HttpUrl& url, const std::u16string& fullUrl)
      : url_(url), route_(Utf16ToUtf8(fullUrl)) {
    Logger::Log(LogLevel::Info, kCategory, route_.DescribeStart());
  }

  uint32_t Connect() { return connection_.Open(kAgent, url_); }

  TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                    HttpAnswerReceiver& receiver) override {
    std::string headers = DownloadHeaderBlock();
    if (!range.IsWholeFile()) {
      headers += "Range: bytes=" + range.Positions() + "\r\n";
      if (!range.ifRange.empty()) headers += "If-Range: " + range.ifRange + "\r\n";
    }
    HttpGet get(cancel);
    if (const uint32_t error = Send(get, Utf8ToUtf16(headers))) return TransferError(error);
    if (const uint32_t error = get.ReceiveResponse()) return TransferError(error);
    HttpAnswerHead head;
    if (const uint32_t error = get.StatusCode(head.status)) return TransferError(error);
    if (head.status == kHttpProxyAuthenticationRequired && route_.proxy() != nullptr) {
      Logger::Log(LogLevel::Error, kCategory, route_.DescribeCredentialsWanted());
    }
    head.contentLength = get.ContentLength();
    const std::string contentRange = get.HeaderText(WINHTTP_QUERY_CONTENT_RANGE).value_or("");
    head.contentRangeFirstByte = ContentRangeFirstByte(contentRange);
    head.contentRangeTotal = ContentRangeTotal(contentRange);
    head.contentType = get.HeaderText(WINHTTP_QUERY_CONTENT_TYPE).value_or("");
    head.etag = get.HeaderText(WINHTTP_QUERY_ETAG).value_or("");
    head.lastModified = get.HeaderText(WINHTTP_QUERY_LAST_MODIFIED).value_or("");
    if (const TransferError stopped = receiver.OnHead(head)) return stopped;
    for (;;) {
      uint32_t available = 0;
      if (const uint32_t error = get.QueryDataAvailable(available)) return TransferError(error);
      if (available == 0) return TransferError();
      while (available > 0) {
        uint32_t got = 0;
        if (const uint32_t error = get.Read(available, got)) return TransferError(error);
        if (got == 0) break;  // ask again how much there is
        if (const TransferError stopped = receiver.OnBody(get.data(), got)) return stopped;
        available = got >= available ? 0 : available - got;
      }
    }
  }

 private:
  // Opens and sends the request: direct, or through the system's proxy once a direct connection
  // could not be made. The proxy is the session's from then on (WinHTTP takes it for requests
  // opened after it is set), so the request is opened again for it.
  uint32_t Send(HttpGet& get, const std::u16string& headers) {
    if (const uint32_t error = get.Open(connection_, url_, headers)) return error;
    const uint32_t error = get.Send();
    std::string line;
    const bool fallBack = error != 0 && route_.FallBack(error, line);
    if (!line.empty()) Logger::Log(LogLevel::Info, kCategory, line);
    if (!fallBack) return error;
    const SystemProxy& proxy = *route_.proxy();
    if (const uint32_t applied =
            connection_.UseProxy(Utf8ToUtf16(proxy.proxy), Utf8ToUtf16(proxy.bypass))) {
      return applied;
    }
    if (const uint32_t reopened = get.Open(connection_, url_, headers)) return reopened;
    return get.Send();
  }

  const HttpUrl url_;
  HttpConnection connection_;
  ProxyRoute route_;
};

}  // namespace

TransferError OpenHttpGetSession(const std::u16string& url,
                                 std::unique_ptr<HttpGetSession>& session) {
  HttpUrl target;
  if (const uint32_t error = CrackHttpUrl(url, target)) return TransferError(error);
  auto opened = std::make_unique<WinHttpGetSession>(target, url);
  if (const uint32_t error = opened->Connect()) return TransferError(error);
  session = std::move(opened);
  return TransferError();
}
