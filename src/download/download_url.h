#pragma once

#include <cstdint>
#include <string_view>

// The one rule for what a download may be fetched from, asked before any transfer is given a
// URL: "http://" or "https://" (scheme in any case) and a host. The platform's transfer service
// would also take UNC names and file:// URLs, which let a page make the elevated program sign
// in to another machine's share or copy a file only administrators may read into a folder the
// user can; no retry can make a bad URL good either, so it is refused at once.
//
// 0 when `url` may be fetched; else the WinHTTP error number the platform gives for it:
// 12005 (ERROR_WINHTTP_INVALID_URL) for an empty URL, one holding spaces, control characters or
// backslashes, or one without a scheme or host; 12006 (ERROR_WINHTTP_UNRECOGNIZED_SCHEME) for
// any other scheme.
uint32_t CheckDownloadUrl(std::string_view url);
