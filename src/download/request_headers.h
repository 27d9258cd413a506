#pragma once

#include <string>
#include <vector>

#include "net/http_session.h"

// The request headers both transfers send with the archive GET: the program's browser
// User-Agent (net/http_session.h; the platform's transfer service would send its own) and a
// Referer naming the page's origin, so the download looks to the server like the page's own.
inline constexpr const char* kDownloadUserAgent = kHttpUserAgent;

// The two header lines, each ended by CR LF, as one block.
std::string DownloadHeaderBlock();

// The same lines without their line ends, one entry each.
std::vector<std::string> DownloadHeaderLines();
