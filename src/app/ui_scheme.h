#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// How the UI folder is served where the web view cannot serve https from a folder (WebKitGTK
// refuses to take over https): under a custom scheme whose host is UiVirtualHost. Pages use
// relative URLs, so they run unchanged under either origin.
//
// Everything here is portable: the backend hands over the request's host and still-encoded
// path and gets back a status, a file and its MIME type.

inline constexpr char kUiScheme[] = "app";

// "https://<host>/rest" becomes "app://<host>/rest"; every other URL is returned unchanged.
std::string MapToUiScheme(std::string_view url, std::string_view host);

// True when `url` is of the origin app://<host>: scheme and host compared ignoring ASCII case,
// no user information, no port (PagePolicy's rule, page_policy.h).
bool IsUiOrigin(std::string_view url, std::string_view host);

struct UiResource {
  int status = 404;            // 200, 400 (malformed), 403 (refused) or 404 (not there)
  std::filesystem::path file;  // canonical path of the file to serve when status is 200
  std::string mimeType;        // for 200
};

// Resolves one request of the UI scheme against `folder`.
// Refused (403): a host other than `expectedHost`; a path that does not start with "/"; any
// segment that is empty, or decodes to "." or "..", or holds "/", "\" or NUL once decoded;
// a file whose real path (symbolic links resolved) lies outside the folder's real path.
// "/" and paths ending in "/" name "index.html" of that folder. Each segment is
// percent-decoded exactly once; a malformed escape gives 400. Folders and missing files 404.
UiResource ResolveUiRequest(const std::filesystem::path& folder, std::string_view requestHost,
                            std::string_view expectedHost, std::string_view encodedPath);

// The Content-Type for a file name, by extension (ignoring case); text types carry
// "; charset=utf-8". Unknown extensions are "application/octet-stream".
std::string MimeTypeForFile(const std::filesystem::path& file);
