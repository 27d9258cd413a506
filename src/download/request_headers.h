#pragma once

#include <string>
#include <vector>

// The request headers both transfers send with the archive GET: a browser User-Agent and a
// Referer naming the page's origin, so the download looks to the server like the page's own.
inline constexpr char kDownloadUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/139.0.0.0 Safari/537.36 Edg/139.0.0.0";

// The two header lines, each ended by CR LF, as one block.
std::string DownloadHeaderBlock();

// The same lines without their line ends, one entry each.
std::vector<std::string> DownloadHeaderLines();
