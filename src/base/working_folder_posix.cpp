#include <uuid/uuid.h>

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
