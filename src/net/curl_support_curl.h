#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/proxy_route.h"

// What both libcurl transfers share: one-time library set-up, handles that free themselves,
// the common request options, and the translation of libcurl's failures into the WinHTTP
// error numbers the page and the retry rules know.

// curl_global_init, once per process, before the first handle.
void EnsureCurlGlobalInit();

struct CurlEasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

CurlList MakeHeaderList(const std::vector<std::string>& lines);

// GET of `url` with `headers`, direct (no proxy: see UseProxy), no signals, the path sent as given
// (query included), 60 s to resolve and connect, redirects followed (http and https only, and https
// only once the URL is https), and pieces of up to kFileWriteBlockBytes for the write callback.
void SetCommonOptions(CURL* easy, const std::string& url, curl_slist* headers);

// From now on the handle goes through `proxy` (net/proxy_route.h). The answers of a CONNECT
// to the proxy are kept from the header callback: only the server's answer is the answer.
void UseProxy(CURL* easy, const SystemProxy& proxy);

// 407 when the proxy refused a CONNECT for want of credentials, else 0. (Through an http URL
// the proxy's 407 arrives as the answer itself.)
uint32_t ProxyCredentialsWanted(CURL* easy);

// The WinHTTP error number for a libcurl failure (0 for CURLE_OK).
uint32_t WinHttpErrorFromCurl(CURLcode code);

// CheckDownloadUrl (net/request_url.h), then whether libcurl can parse `url` at all;
// the WinHTTP error number for a bad URL or scheme, else 0.
uint32_t CheckCurlRequestUrl(const std::string& url);

// The trimmed value of a header line named `lowerCaseName` (compared without case); nullopt for
// other lines.
std::optional<std::string_view> HeaderValue(const char* line, size_t length,
                                            std::string_view lowerCaseName);
// Content-Length from a header line (case-insensitive name); false for other lines.
bool ParseContentLength(const char* line, size_t length, uint64_t& value);
// The numeric status of an "HTTP/x.y NNN ..." line; false for other lines.
bool ParseStatusLine(const char* line, size_t length, long& status);
