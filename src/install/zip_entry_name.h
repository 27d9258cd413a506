#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text of a ZIP entry's stored name. A name flagged UTF-8 (general-purpose bit 11) is UTF-8.
// An unflagged one is in the IBM PC code page (437), as the format says, unless its bytes are
// valid UTF-8: archivers that write UTF-8 without the flag are common, and a name in code page
// 437 is rarely valid UTF-8 by chance. Decoding never changes what the name's rules see as a
// separator or a control character: bytes below 0x80 stay as they are.
inline constexpr uint16_t kZipUtf8NameFlag = 0x0800;

// `raw` as UTF-8 text, read as the entry's general-purpose `flags` say.
std::string ZipEntryNameToUtf8(std::string_view raw, uint16_t flags);
