#include "base/working_folder.h"

std::string FormatRegistryGuid(const std::array<uint8_t, 16>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  text.push_back('}');
  return text;
}

std::filesystem::path NewWorkingFolderPath() {
  return TempDirectory() / NewGuidFolderName();
}

void CreateWorkingFolders(const std::filesystem::path& workingFolder,
                          const std::filesystem::path& inside, std::error_code& ec) {
  ec.clear();
  const std::filesystem::path below = inside.lexically_relative(workingFolder);
  if (below.empty() || *below.begin() == "..") {
    ec = std::make_error_code(std::errc::invalid_argument);
    return;
  }
  EnsureWorkingFolder(workingFolder, ec);
  // One folder at a time, each checked before the next is made inside it: a library call that
  // makes the whole chain would go through a link at any of them.
  std::filesystem::path step = workingFolder;
  for (const std::filesystem::path& part : below) {
    if (ec) return;
    if (part.empty() || part == ".") continue;
    step /= part;
    EnsureFolderStep(step, ec);
  }
}
