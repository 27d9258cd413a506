#include <windows.h>

#include <system_error>

#include "base/free_space.h"

std::optional<uint64_t> AvailableSpace(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path probe = std::filesystem::absolute(path, ec);
  if (ec) probe = path;
  for (;;) {
    // The bytes available to the caller: a disk quota counts, as it does for the writes.
    // A folder on a share is only accepted with a trailing separator, which any folder takes.
    ULARGE_INTEGER available{};
    const std::filesystem::path folder = probe / "";
    if (GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
      return available.QuadPart;
    }
    if (!probe.has_relative_path()) return std::nullopt;
    probe = probe.parent_path();
  }
}
