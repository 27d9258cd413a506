#include <sys/stat.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/folder_error.h"
#include "base/working_folder.h"

std::string NewGuidFolderName() {
  uuid_t uuid;
  uuid_generate_random(uuid);
  std::array<uint8_t, 16> bytes;
  std::memcpy(bytes.data(), uuid, bytes.size());
  if (uuid_is_null(uuid)) return kNullGuidFolderName;
  return FormatRegistryGuid(bytes);
}

std::filesystem::path TempDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && *tmpdir != '\0') return std::filesystem::path(tmpdir);
  return std::filesystem::path("/tmp");
}

void CreatePrivateFolder(const std::filesystem::path& folder, std::error_code& ec) {
  // mkdir's mode passes through the umask; chmod sets it exactly.
  if (::mkdir(folder.c_str(), 0700) != 0 || ::chmod(folder.c_str(), 0700) != 0) {
    ec.assign(errno, std::generic_category());
  }
}

void EnsureWorkingFolder(const std::filesystem::path& folder, std::error_code& ec) {
  if (!std::filesystem::exists(folder, ec) && !ec) {
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (!ec) CreatePrivateFolder(folder, ec);
  }
}

void EnsureFolderStep(const std::filesystem::path& folder, std::error_code& ec) {
  if (::mkdir(folder.c_str(), 0777) == 0) return;
  if (errno != EEXIST) {
    ec.assign(errno, std::generic_category());
    return;
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    ec.assign(errno, std::generic_category());
  } else if (S_ISLNK(st.st_mode)) {
    ec = FolderError::kReparsePoint;
  } else if (!S_ISDIR(st.st_mode)) {
    ec = std::make_error_code(std::errc::not_a_directory);
  }
}
