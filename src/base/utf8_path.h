#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Paths from and to the UTF-8 text of the page and the logs. On Linux the bytes pass
// unchanged; on Windows they are decoded as UTF-8, never read in the ANSI code page.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The same, with '/' between the parts: the form the page is shown and gives back.
inline std::string GenericPathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}
