#pragma once

#include <string>
#include <string_view>

// Whole-string conversions between UTF-16 (platform texts and paths on Windows) and UTF-8
// (JSON, logs, the page). The length comes from the view, so embedded zero characters are
// converted too. Ill-formed input never fails: each bad sequence becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD; valid text comes back as is.
// Everything sent to the page passes through this rule, so a stray byte in a file name or a
// platform message can never break a callback.
std::string SanitizeUtf8(std::string_view text);

bool IsValidUtf8(std::string_view text);
