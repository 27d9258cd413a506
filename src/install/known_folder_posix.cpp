#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/ascii.h"
#include "install/known_folder.h"

namespace {

// The home folder of the process's real user, from the password database, not from HOME.
std::optional<std::string> HomeFolder() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->pw_dir || found->pw_dir[0] != '/') {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

}  // namespace

std::optional<std::string> KnownFolderPath(std::string_view name) {
  struct Known {
    std::string_view name;
    std::string_view belowHome;
  } constexpr kKnown[] = {
      {"HOME", ""}, {"XDG_DATA_HOME", "/.local/share"}, {"XDG_CONFIG_HOME", "/.config"}};
  for (const Known& known : kKnown) {
    if (!EqualsIgnoringAsciiCase(name, known.name)) continue;
    std::optional<std::string> home = HomeFolder();
    if (home) *home += known.belowHome;
    return home;
  }
  return std::nullopt;
}
