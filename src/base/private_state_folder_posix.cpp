#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "base/private_state_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr char kFolderName[] = "Velmorante";

std::optional<fs::path> AbsoluteVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return std::nullopt;
  return fs::path(value);
}

}  // namespace

bool EnsurePrivateFolder(const fs::path& folder) {
  std::error_code ignored;
  fs::create_directories(folder.parent_path(), ignored);  // a missing ~/.local/state, say
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // Checked through a descriptor, so that what is checked is what gets narrowed.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool safe = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
  if (safe && (st.st_mode & 07777) != 0700) safe = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return safe;
}

std::optional<fs::path> PrivateStateFolder() {
  std::vector<fs::path> candidates;
  if (auto runtime = AbsoluteVariable("XDG_RUNTIME_DIR")) candidates.push_back(*runtime);
  if (auto state = AbsoluteVariable("XDG_STATE_HOME")) candidates.push_back(*state);
  if (auto home = AbsoluteVariable("HOME")) candidates.push_back(*home / ".local" / "state");
  for (const fs::path& base : candidates) {
    const fs::path folder = base / kFolderName;
    if (EnsurePrivateFolder(folder)) return folder;
  }
  return std::nullopt;
}
