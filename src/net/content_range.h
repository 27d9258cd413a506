#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The first byte position of a Content-Range header value, "bytes FIRST-LAST/TOTAL" (TOTAL may
// be "*"); nullopt for anything else, "bytes */TOTAL" included.
//
// A 206 answer to "Range: bytes=N-" is appended to the N bytes already on disk, so it is only
// usable when it starts at N: a server (or a cache in between) that answers with another range
// would otherwise splice unrelated bytes into the archive, and a size check alone cannot tell.
std::optional<uint64_t> ContentRangeFirstByte(std::string_view value);

// The TOTAL of a Content-Range header value, "bytes FIRST-LAST/TOTAL" or "bytes */TOTAL";
// nullopt when it is "*" or the value is malformed.
std::optional<uint64_t> ContentRangeTotal(std::string_view value);
