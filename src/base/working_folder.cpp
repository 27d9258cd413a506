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
  if (!std::filesystem::exists(workingFolder, ec) && !ec) {
    std::filesystem::create_directories(workingFolder.parent_path(), ec);
    if (!ec) CreatePrivateFolder(workingFolder, ec);
  }
  if (!ec && inside != workingFolder) std::filesystem::create_directories(inside, ec);
}
