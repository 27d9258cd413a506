#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "base/proxy_route.h"
#include "base/utf_convert.h"
#include "diag/webhook_post.h"
#include "log/logger.h"

namespace {

constexpr char kCategory[] = "Engine.Http";

struct InternetHandleCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
// Declared session, connection, request: destroyed in the reverse order, request first.
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// The answer is logged as one line: a first block larger than this says nothing more.
constexpr DWORD kFirstBlockLimit = 64 * 1024;

std::wstring Wide(const std::string& text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

int Milliseconds(std::chrono::milliseconds duration) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 1, INT_MAX));
}

}  // namespace

std::optional<std::string> PostJsonToWebhook(const WebhookEndpoint& endpoint,
                                             const std::string& body,
                                             const HttpTimeouts& timeouts) {
  if (body.size() > MAXDWORD) return std::nullopt;

  // Without these the client waits for ever on a server that accepts and never answers. The
  // client bounds resolving and connecting one after the other, so the connect limit applies to
  // each; the TLS handshake counts as sending.
  const int connect = Milliseconds(timeouts.connect);
  const int idle = Milliseconds(timeouts.sendReceive);
  // Direct, or through `proxy`: the proxy given when the session opens is the one every WinHTTP
  // takes (Wine's ignores WINHTTP_OPTION_PROXY).
  InternetHandle session;
  InternetHandle connection;
  const auto openSession = [&](const SystemProxy* proxy) {
    const std::wstring list = proxy ? Wide(proxy->proxy) : std::wstring();
    const std::wstring bypass = proxy ? Wide(proxy->bypass) : std::wstring();
    connection.reset();
    session.reset(
        WinHttpOpen(Wide(kWebhookUserAgent).c_str(),
                    proxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                    proxy ? list.c_str() : WINHTTP_NO_PROXY_NAME,
                    proxy && !bypass.empty() ? bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session || !WinHttpSetTimeouts(session.get(), connect, connect, idle, idle)) {
      return false;
    }
    connection.reset(WinHttpConnect(session.get(), Wide(endpoint.host).c_str(), endpoint.port, 0));
    return connection != nullptr;
  };
  if (!openSession(nullptr)) return std::nullopt;
  const DWORD secure = endpoint.scheme == "https" ? WINHTTP_FLAG_SECURE : 0;
  // The request as this exchange wants it; opened once more when the proxy is taken, since a
  // session's proxy applies to the requests opened after it is set.
  const auto open = [&]() -> InternetHandle {
    InternetHandle request(
        WinHttpOpenRequest(connection.get(), L"POST", Wide(endpoint.path).c_str(), nullptr,
                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
    if (!request) return request;
    // The wait for the answer's headers has a limit of its own (90 s unless set), and some
    // implementations of the client apply no other to it.
    DWORD responseTimeout = static_cast<DWORD>(idle);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                     sizeof(responseTimeout));
    // A redirect would carry the report to wherever the answer points, over plain http too.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                          sizeof(disabled))) {
      request.reset();
    }
    return request;
  };
  const auto length = static_cast<DWORD>(body.size());
  const auto send = [&](HINTERNET request) {
    return request != nullptr &&
           WinHttpSendRequest(request, L"Content-Type: application/json\r\n",
                              static_cast<DWORD>(-1), const_cast<char*>(body.data()), length,
                              length, 0) != FALSE;
  };

  // Direct first; when the connection cannot be made, the system's proxy for the URL.
  ProxyRoute route(WebhookUrl(endpoint));
  Logger::Log(LogLevel::Info, kCategory, route.DescribeStart());
  InternetHandle request = open();
  if (!request) return std::nullopt;
  bool sent = send(request.get());
  if (!sent) {
    std::string line;
    const bool fallBack = route.FallBack(GetLastError(), line);
    if (!line.empty()) Logger::Log(LogLevel::Info, kCategory, line);
    if (fallBack) {
      request.reset();
      if (openSession(route.proxy())) request = open();
      sent = send(request.get());
    }
  }
  if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) return std::nullopt;
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (route.proxy() != nullptr &&
      WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                          WINHTTP_NO_HEADER_INDEX) &&
      status == 407) {
    Logger::Log(LogLevel::Error, kCategory, route.DescribeCredentialsWanted());
  }

  DWORD available = 0;
  if (!WinHttpQueryDataAvailable(request.get(), &available) || available == 0) return std::nullopt;
  std::vector<char> block(std::min(available, kFirstBlockLimit));
  DWORD read = 0;
  if (!WinHttpReadData(request.get(), block.data(), static_cast<DWORD>(block.size()), &read) ||
      read == 0) {
    return std::nullopt;
  }
  return std::string(block.data(), read);
}
