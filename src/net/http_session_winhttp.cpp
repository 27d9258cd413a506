#include "net/http_session_winhttp.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <charconv>
#include <climits>

#include "base/file_write_watcher.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "log/logger.h"
#include "net/content_range.h"
#include "net/proxy_route.h"

namespace {

constexpr size_t kReadBytes = kFileWriteBlockBytes;
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
  std::string body;  // a POST's, read by WinHTTP while it sends
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

uint32_t HttpGet::Open(const HttpConnection& connection, const HttpUrl& url, const wchar_t* verb,
                       const std::u16string& headers, int connectMs, int idleMs,
                       bool followRedirects) {
  Close();
  request_ = WinHttpOpenRequest(connection.connection(), verb, Wide(url.pathAndQuery), nullptr,
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

  // The client bounds resolving and connecting one after the other, so the connect limit
  // applies to each; the TLS handshake counts as sending.
  WinHttpSetTimeouts(request_, connectMs, connectMs, idleMs, idleMs);
  // The wait for the response's headers has a time-out of its own, shorter by default.
  DWORD headersTimeout = static_cast<DWORD>(idleMs);
  WinHttpSetOption(request_, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                   sizeof(headersTimeout));
  // A redirect would carry a post to wherever the answer points, over plain http too.
  DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
  if (!followRedirects &&
      !WinHttpSetOption(request_, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled))) {
    const DWORD error = GetLastError();
    Close();
    return error;
  }
  if (!WinHttpAddRequestHeaders(request_, Wide(headers), static_cast<DWORD>(-1),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
    const DWORD error = GetLastError();
    Close();
    return error;
  }
  return 0;
}

uint32_t HttpGet::Send(const std::string& body) {
  if (body.size() > MAXDWORD) return ERROR_INVALID_PARAMETER;
  context_->body = body;
  const auto length = static_cast<DWORD>(body.size());
  if (!WinHttpSendRequest(request_, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                          length == 0 ? WINHTTP_NO_REQUEST_DATA : context_->body.data(), length,
                          length, contextValue_)) {
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

std::u16string HeaderBlock(const std::vector<std::string>& lines) {
  std::string block;
  for (const std::string& line : lines) block += line + "\r\n";
  return Utf8ToUtf16(block);
}

int Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 1, INT_MAX));
}

class WinHttpSession final : public HttpSession {
 public:
  WinHttpSession(const HttpUrl& url, const std::u16string& fullUrl, HttpSessionOptions options)
      : url_(url),
        options_(std::move(options)),
        route_(options_.route ? *options_.route : ProxyRoute(Utf16ToUtf8(fullUrl))) {
    // A route taken over from another session was logged there.
    if (!options_.route) Logger::Log(LogLevel::Info, options_.logCategory, route_.DescribeStart());
  }

  uint32_t Connect() {
    const std::u16string agent = Utf8ToUtf16(options_.userAgent);
    if (const uint32_t error = connection_.Open(agent, url_)) return error;
    if (route_.proxy() == nullptr) return 0;
    return connection_.UseProxy(Utf8ToUtf16(route_.proxy()->proxy),
                                Utf8ToUtf16(route_.proxy()->bypass));
  }

  TransferError Get(const HttpGetRange& range, const std::atomic<bool>& cancel,
                    HttpAnswerReceiver& receiver) override {
    std::vector<std::string> lines = options_.headers;
    if (!range.IsWholeFile()) {
      lines.push_back("Range: bytes=" + range.Positions());
      if (!range.ifRange.empty()) lines.push_back("If-Range: " + range.ifRange);
    }
    HttpGet get(cancel);
    if (const uint32_t error = Send(get, L"GET", HeaderBlock(lines), std::string())) {
      return TransferError(error);
    }
    return Receive(get, receiver);
  }

  TransferError Post(const std::string& contentType, const std::string& body,
                     const std::atomic<bool>& cancel, HttpAnswerReceiver& receiver) override {
    std::vector<std::string> lines = options_.headers;
    lines.push_back("Content-Type: " + contentType);
    HttpGet post(cancel);
    if (const uint32_t error = Send(post, L"POST", HeaderBlock(lines), body)) {
      return TransferError(error);
    }
    return Receive(post, receiver);
  }

  const ProxyRoute& route() const override { return route_; }

 private:
  TransferError Receive(HttpGet& get, HttpAnswerReceiver& receiver) {
    if (const uint32_t error = get.ReceiveResponse()) return TransferError(error);
    HttpAnswerHead head;
    if (const uint32_t error = get.StatusCode(head.status)) return TransferError(error);
    if (head.status == kHttpProxyAuthenticationRequired && route_.proxy() != nullptr) {
      Logger::Log(LogLevel::Error, options_.logCategory, route_.DescribeCredentialsWanted());
    }
    head.contentLength = get.ContentLength();
    const std::string contentRange = get.HeaderText(WINHTTP_QUERY_CONTENT_RANGE).value_or("");
    head.contentRangeFirstByte = ContentRangeFirstByte(contentRange);
    head.contentRangeTotal = ContentRangeTotal(contentRange);
    head.contentType = get.HeaderText(WINHTTP_QUERY_CONTENT_TYPE).value_or("");
    head.etag = get.HeaderText(WINHTTP_QUERY_ETAG).value_or("");
    head.lastModified = get.HeaderText(WINHTTP_QUERY_LAST_MODIFIED).value_or("");
    head.acceptsByteRanges = get.HeaderText(WINHTTP_QUERY_ACCEPT_RANGES).value_or("") == "bytes";
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

  // Opens and sends the request on the current route, then on each next one the route takes
  // after a connection that could not be made. A proxy is the session's from then on (WinHTTP
  // takes it for requests opened after it is set), so the request is opened again for it.
  uint32_t Send(HttpGet& request, const wchar_t* verb, const std::u16string& headers,
                const std::string& body) {
    const int connect = Milliseconds(options_.connectLimit);
    const int idle = Milliseconds(options_.idleLimit);
    for (;;) {
      if (const uint32_t error = request.Open(connection_, url_, verb, headers, connect, idle,
                                              options_.followRedirects)) {
        return error;
      }
      const uint32_t error = request.Send(body);
      std::string line;
      const bool next = error != 0 && route_.FallBack(error, line);
      if (!line.empty()) Logger::Log(LogLevel::Info, options_.logCategory, line);
      if (!next) return error;
      const SystemProxy& proxy = *route_.proxy();
      if (const uint32_t applied =
              connection_.UseProxy(Utf8ToUtf16(proxy.proxy), Utf8ToUtf16(proxy.bypass))) {
        return applied;
      }
    }
  }

  const HttpUrl url_;
  HttpSessionOptions options_;
  HttpConnection connection_;
  ProxyRoute route_;
};

}  // namespace

uint32_t CheckHttpUrl(const std::u16string& url) {
  HttpUrl parts;
  return CrackHttpUrl(url, parts);
}

TransferError OpenHttpSession(const std::u16string& url, HttpSessionOptions options,
                              std::unique_ptr<HttpSession>& session) {
  HttpUrl target;
  if (const uint32_t error = CrackHttpUrl(url, target)) return TransferError(error);
  auto opened = std::make_unique<WinHttpSession>(target, url, std::move(options));
  if (const uint32_t error = opened->Connect()) return TransferError(error);
  session = std::move(opened);
  return TransferError();
}
