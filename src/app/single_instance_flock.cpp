#include "app/single_instance_flock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/private_state_folder.h"

namespace {

// A descriptor on the lock file, or -1 when it cannot be opened. O_NOFOLLOW: a link planted
// under our name is never followed, should the folder be one that others can write to.
int OpenLockFile(const std::filesystem::path& file) {
  const int flags = O_CLOEXEC | O_NOFOLLOW;
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | flags, 0644);
  // Another user's file: flock works on a read-only descriptor as well.
  if (fd < 0 && errno == EACCES) fd = ::open(file.c_str(), O_RDONLY | flags);
  return fd;
}

// 1 when locked, 0 when another process holds it, -1 on any other failure.
int TryLock(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 1;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? 0 : -1;
  }
}

}  // namespace

FlockInstanceLocks::FlockInstanceLocks(std::filesystem::path folder) : folder_(std::move(folder)) {
  if (folder_.empty()) folder_ = PrivateStateFolder().value_or(std::filesystem::path());
}

FlockInstanceLocks::~FlockInstanceLocks() {
  for (int fd : held_) ::close(fd);
}

std::filesystem::path FlockInstanceLocks::LockFilePath(const char* name) const {
  return folder_ / (std::string(name) + ".lock");
}

bool FlockInstanceLocks::IsHeldElsewhere(const char* name) {
  if (folder_.empty()) return false;  // no private folder: cannot tell, the start goes on
  const int fd = OpenLockFile(LockFilePath(name));
  if (fd < 0) return false;  // cannot tell: the start goes on
  const bool held = TryLock(fd) == 0;
  ::close(fd);  // also releases the probe's own lock at once
  return held;
}

bool FlockInstanceLocks::Hold(const char* name) {
  if (folder_.empty()) return true;
  const int fd = OpenLockFile(LockFilePath(name));
  if (fd < 0) return true;  // cannot tell: the start goes on without the guard
  const int locked = TryLock(fd);
  if (locked == 0) {
    ::close(fd);
    return false;
  }
  held_.push_back(fd);
  return true;
}
