#include "net/curl_support_curl.h"

#include <cctype>
#include <charconv>
#include <mutex>
#include <string_view>

#include "base/file_write_watcher.h"
#include "base/hresult.h"
#include "base/page_results.h"
#include "net/request_url.h"

void EnsureCurlGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CurlList MakeHeaderList(const std::vector<std::string>& lines) {
  curl_slist* list = nullptr;
  for (const std::string& line : lines) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) break;
    list = grown;
  }
  return CurlList(list);
}

namespace {

bool IsHttpsUrl(std::string_view url) {
  constexpr std::string_view kScheme = "https:";
  if (url.size() < kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

void SetCommonOptions(CURL* easy, const std::string& url, curl_slist* headers) {
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 60000L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(kFileWriteBlockBytes));
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  // Download links commonly redirect to a mirror or CDN, as the platform clients follow.
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
  // A download that starts secure stays secure: after a redirect from https to http anybody on
  // the way could swap the archive. Refused, libcurl keeps the redirect as the answer, which then
  // fails like any other status outside 2xx, as with the Windows client.
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, IsHttpsUrl(url) ? "https" : "http,https");
}

void UseProxy(CURL* easy, const SystemProxy& proxy) {
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.proxy.c_str());
  // The system's lookup already applied its exceptions; none of the environment's on top.
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
}

uint32_t ProxyCredentialsWanted(CURL* easy) {
  long code = 0;
  curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &code);
  return code == 407 ? 407u : 0u;
}

uint32_t WinHttpErrorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return page_result::kHttpNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return page_result::kHttpCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return page_result::kHttpTimeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return page_result::kHttpConnectionError;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return page_result::kHttpSecureFailure;
    case CURLE_URL_MALFORMAT:
      return page_result::kHttpInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return page_result::kHttpUnrecognizedScheme;
    case CURLE_OUT_OF_MEMORY:
      return page_result::kNotEnoughMemory;
    default:
      return page_result::kHttpInvalidResponse;
  }
}

uint32_t CheckCurlRequestUrl(const std::string& url) {
  // libcurl would take some bad URLs as they are: the shared rule comes first.
  if (const uint32_t error = CheckDownloadUrl(url)) return error;
  CURLU* parts = curl_url();
  if (parts == nullptr) return page_result::kNotEnoughMemory;
  uint32_t error = 0;
  if (curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    error = page_result::kHttpInvalidUrl;
  } else {
    char* scheme = nullptr;
    if (curl_url_get(parts, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
      error = page_result::kHttpInvalidUrl;
    } else if (std::string_view(scheme) != "http" && std::string_view(scheme) != "https") {
      error = page_result::kHttpUnrecognizedScheme;
    }
    curl_free(scheme);
  }
  curl_url_cleanup(parts);
  return error;
}

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<std::string_view> HeaderValue(const char* line, size_t length,
                                            std::string_view lowerCaseName) {
  const std::string_view text(line, length);
  if (text.size() <= lowerCaseName.size() || text[lowerCaseName.size()] != ':') return std::nullopt;
  for (size_t i = 0; i < lowerCaseName.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != lowerCaseName[i]) return std::nullopt;
  }
  return Trim(text.substr(lowerCaseName.size() + 1));
}

bool ParseContentLength(const char* line, size_t length, uint64_t& value) {
  const std::optional<std::string_view> found = HeaderValue(line, length, "content-length");
  if (!found) return false;
  const std::string_view number = *found;
  uint64_t parsed = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), parsed);
  if (error != std::errc() || end != number.data() + number.size()) return false;
  value = parsed;
  return true;
}

bool ParseStatusLine(const char* line, size_t length, long& status) {
  const std::string_view text(line, length);
  if (text.substr(0, 5) != "HTTP/") return false;
  const size_t space = text.find(' ');
  if (space == std::string_view::npos) return false;
  const std::string_view rest = text.substr(space + 1);
  long parsed = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parsed);
  if (error != std::errc() || end == rest.data()) return false;
  status = parsed;
  return true;
}
