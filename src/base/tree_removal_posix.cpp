#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/folder_error.h"
#include "base/tree_removal.h"

namespace fs = std::filesystem;

namespace {

// Removes one file or emptied folder. A file without write permission (often carried by
// extracted archives) is made writable and tried again; a symbolic link is never followed.
void RemoveEntry(const fs::path& path, const RemovalSkipped& skipped) {
  std::error_code removeError;
  if (fs::remove(path, removeError) || !removeError) return;
  std::error_code retryError;
  if (!fs::is_symlink(fs::symlink_status(path, retryError)) && !retryError) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, retryError);
    if (!retryError && fs::remove(path, retryError)) return;
  }
  skipped(path, removeError.message());
}

void RemoveTree(const fs::path& dir, const RemovalSkipped& skipped) {
  std::error_code ec;
  fs::remove_all(dir, ec);  // does not follow symbolic links here
  if (!ec) return;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  ec.clear();
  // remove_all stops at the first failure. Folders without write permission are made writable
  // (their contents count as the user's working files), then what is left goes one entry at a
  // time.
  std::vector<fs::path> leftovers;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    if (it->is_directory(statusError) && !it->is_symlink(statusError)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, statusError);
    }
    leftovers.push_back(it->path());
  }
  for (auto it = leftovers.rbegin(); it != leftovers.rend(); ++it) RemoveEntry(*it, skipped);
  RemoveEntry(dir, skipped);
}

}  // namespace

void RemoveFolderTree(const fs::path& folder, const RemovalSkipped& skipped) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(folder, ec);
  if (ec) {
    if (ec != std::errc::no_such_file_or_directory) skipped(folder, ec.message());
    return;
  }
  if (fs::is_directory(status)) RemoveTree(folder, skipped);
}

bool RemovePlainFile(const fs::path& path, std::error_code& ec) {
  ec.clear();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    ec.assign(errno, std::generic_category());
  } else if (S_ISLNK(st.st_mode)) {
    ec = FolderError::kReparsePoint;
  } else if (!S_ISREG(st.st_mode)) {
    ec = std::make_error_code(std::errc::is_a_directory);
  } else if (::unlink(path.c_str()) != 0) {
    ec.assign(errno, std::generic_category());
  }
  return !ec;
}
