#include "install/entry_rules.h"

#include <string>

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::optional<std::filesystem::path> EntryTargetPath(const std::filesystem::path& folder,
                                                     std::string_view storedName) {
  std::string name(storedName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.empty() || name.front() == '/' || HasControlCharacter(name)) return std::nullopt;
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':') return std::nullopt;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0) return std::nullopt;
    start = end + 1;
  }
  return folder / std::filesystem::path(std::u8string(name.begin(), name.end()));
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

std::string EntryKey(std::string_view storedName) {
  std::string key;
  size_t start = 0;
  while (start <= storedName.size()) {
    size_t end = storedName.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = storedName.size();
    const std::string_view part = storedName.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!key.empty()) key += '/';
      key += part;
    }
    start = end + 1;
  }
  return key;
}

uint32_t ExtractedFileMode(const ZipEntryInfo& entry) {
  constexpr uint32_t kBase = 0644;
  constexpr uint32_t kExecuteBits = 0111;
  return entry.madeOnUnix ? kBase | (entry.unixMode & kExecuteBits) : kBase;
}
