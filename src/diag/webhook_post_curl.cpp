#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "base/page_results.h"
#include "base/proxy_route.h"
#include "diag/webhook_post.h"
#include "log/logger.h"

namespace {

constexpr char kCategory[] = "Engine.Http";

using Clock = std::chrono::steady_clock;

struct Exchange {
  std::chrono::milliseconds idleLimit;
  bool connected = false;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t sent = 0;
  curl_off_t received = 0;
  std::optional<std::string> firstBlock;
};

// libcurl has no send/receive time-out of its own: measure idleness from the moment the
// connection stands (the connect time-out covers what comes before) and end the transfer when
// nothing moved for too long.
int OnConnected(void* user, char*, char*, int, int) {
  auto* exchange = static_cast<Exchange*>(user);
  exchange->connected = true;
  exchange->lastActivity = Clock::now();
  return CURL_PREREQFUNC_OK;
}

int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto* exchange = static_cast<Exchange*>(user);
  if (!exchange->connected) return 0;
  const Clock::time_point now = Clock::now();
  if (sent != exchange->sent || received != exchange->received) {
    exchange->sent = sent;
    exchange->received = received;
    exchange->lastActivity = now;
  }
  return now - exchange->lastActivity > exchange->idleLimit ? 1 : 0;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
  static_cast<Exchange*>(user)->lastActivity = Clock::now();
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const size_t length = size * count;
  if (length == 0) return 0;
  exchange->firstBlock.emplace(data, length);
  // Only the first block is wanted: refusing the rest ends the transfer here.
  return 0;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The WinHTTP number of a connection that could not be made; 0 for any other outcome.
uint32_t ConnectionNotMade(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return page_result::kHttpNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return page_result::kHttpCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return page_result::kHttpTimeout;
    default:
      return 0;
  }
}

}  // namespace

std::optional<std::string> PostJsonToWebhook(const WebhookEndpoint& endpoint,
                                             const std::string& body,
                                             const HttpTimeouts& timeouts) {
  static std::once_flag initialized;
  std::call_once(initialized, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return std::nullopt;

  // curl adds "Expect: 100-continue" to larger bodies (a pause with servers that ignore it)
  // and "Accept: */*"; the report sends neither.
  std::unique_ptr<curl_slist, ListDeleter> headers;
  for (const char* line : {"Content-Type: application/json", "Expect:", "Accept:"}) {
    curl_slist* extended = curl_slist_append(headers.get(), line);
    if (extended == nullptr) return std::nullopt;
    headers.release();
    headers.reset(extended);
  }

  Exchange exchange;
  exchange.idleLimit = timeouts.sendReceive;
  const std::string url = WebhookUrl(endpoint);
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, "*");  // direct first (base/proxy_route.h)
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, kWebhookUserAgent);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);

  // The outcome is the answer's first block or nothing: the write callback ends a successful
  // exchange with CURLE_WRITE_ERROR on purpose, so the code says little more.
  ProxyRoute route(url);
  Logger::Log(LogLevel::Info, kCategory, route.DescribeStart());
  std::string line;
  const CURLcode direct = curl_easy_perform(h);
  // A time-out counts only where no connection stood: a stalled answer is no route's fault.
  curl_off_t connected = 0;
  curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connected);
  const uint32_t notMade =
      direct == CURLE_OPERATION_TIMEDOUT && connected != 0 ? 0 : ConnectionNotMade(direct);
  if (route.FallBack(notMade, line)) {
    Logger::Log(LogLevel::Info, kCategory, line);
    curl_easy_setopt(h, CURLOPT_PROXY, route.proxy()->proxy.c_str());
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    exchange.connected = false;
    curl_easy_perform(h);
    long status = 0;
    long connectStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    if (status == 407 || connectStatus == 407) {
      Logger::Log(LogLevel::Error, kCategory, route.DescribeCredentialsWanted());
    }
  } else if (!line.empty()) {
    Logger::Log(LogLevel::Info, kCategory, line);
  }
  return exchange.firstBlock;
}
