#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "install/entry_link.h"

bool LinksAreExtracted() {
  return true;
}

bool CreateEntryLink(const std::filesystem::path& path, const std::string& target,
                     std::string& error) {
  // symlink(2) fails on anything already at the path; it never follows it.
  if (::symlink(target.c_str(), path.c_str()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}
