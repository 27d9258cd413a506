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

// The same, with '/' between the parts: the form of a download's `des` and of the working
// folders that the clean-up names, which the page is given and gives back so on every platform.
inline std::string GenericPathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// The same in the platform's own form, with '\\' between the parts on Windows: every other path
// the page is given (an extraction's folder, a product's place, where the free space was read),
// as the page may split it on the platform's separator.
inline std::string NativePathToUtf8(std::filesystem::path path) {
  return PathToUtf8(path.make_preferred());
}
