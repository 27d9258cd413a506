#include <sys/statvfs.h>

#include "base/free_space.h"

std::optional<uint64_t> AvailableSpace(const std::filesystem::path& path) {
  std::filesystem::path probe = path;
  for (;;) {
    struct statvfs info;
    if (::statvfs(probe.c_str(), &info) == 0) {
      return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
    }
    if (!probe.has_relative_path()) return std::nullopt;
    probe = probe.parent_path();
  }
}
