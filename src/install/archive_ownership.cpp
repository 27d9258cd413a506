#include "install/archive_ownership.h"

#include <filesystem>

#include "base/utf8_path.h"

namespace fs = std::filesystem;

bool IsInsideWorkingFolder(std::string_view archive,
                           const std::vector<std::string>& workingFolders) {
  const fs::path path = PathFromUtf8(archive);
  if (!path.is_absolute()) return false;
  for (const fs::path& part : path) {
    if (part == "." || part == "..") return false;
  }
  for (const std::string& folderText : workingFolders) {
    fs::path folder = PathFromUtf8(folderText);
    if (!folder.is_absolute()) continue;
    // Compared part by part, so "/tmp/{A}x/f" is not inside "/tmp/{A}", and separators and
    // a trailing slash do not matter.
    auto inside = path.begin();
    bool matches = true;
    for (const fs::path& part : folder) {
      if (part.empty()) continue;  // the trailing slash's empty name
      while (inside != path.end() && inside->empty()) ++inside;
      if (inside == path.end() || *inside != part) {
        matches = false;
        break;
      }
      ++inside;
    }
    while (matches && inside != path.end() && inside->empty()) ++inside;
    if (matches && inside != path.end()) return true;
  }
  return false;
}
