#include <sys/stat.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
