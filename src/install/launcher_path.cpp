#include "install/launcher_path.h"

#include "base/utf8_path.h"

std::optional<std::filesystem::path> LauncherPath(const std::string& unzipdir,
                                                  const std::string& launcherName) {
  const std::filesystem::path name = PathFromUtf8(launcherName);
  if (name.is_absolute()) return name;
  if (name.has_root_name() || name.has_root_directory()) return std::nullopt;
  for (const std::filesystem::path& part : name) {
    if (part == "..") return std::nullopt;
  }
  return PathFromUtf8(unzipdir) / name;
}
