#pragma once

#include <cstdint>
#include <string>
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

// `url` as it goes on the wire: every character outside ASCII written as the percent-escapes
// of its UTF-8 bytes, upper-case hex (as a browser sends it, and as storage services sign it);
// everything else, escapes already there included, byte for byte as given. A request line holds
// only ASCII, and each HTTP client would otherwise escape such a character its own way, or not
// at all, and a signature checked over the request would fail on one platform only.
std::u16string EscapeNonAscii(std::u16string_view url);
