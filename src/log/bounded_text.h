#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Bounds text that comes from outside the program (the page, archives, servers) before it is
// kept or forwarded, so that one huge text cannot swell memory, files or posts.
//
// Promises: a text of at most `limit` bytes comes back unchanged. A longer one keeps at most
// its first `limit` bytes, cut back to the start of a UTF-8 sequence so that valid UTF-8 stays
// valid, followed by the marker " [... N bytes cut]" naming how many bytes were dropped.
// Does not promise: that the result fits `limit` (the marker comes on top).

inline constexpr std::size_t kMaxLogMessageBytes = 64 * 1024;
inline constexpr std::size_t kMaxLogFieldBytes = 1024;  // category, function, file

std::string CutToLimit(std::string_view text, std::size_t limit);
