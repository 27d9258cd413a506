#include "install/entry_link.h"

// Making a symbolic link on Windows needs a privilege or developer mode, and a link made there
// would be followed by the setup with the rights of an elevated program: link entries are
// refused instead.
bool LinksAreExtracted() {
  return false;
}

bool CreateEntryLink(const std::filesystem::path&, const std::string&, std::string& error) {
  error = "symbolic links are not extracted on Windows";
  return false;
}
