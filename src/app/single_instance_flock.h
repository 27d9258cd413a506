#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"

// The single-instance locks on Linux: advisory flock(2) locks on files named after the locks,
// in this user's private state folder (base/private_state_folder.h), so that another user's
// instance never blocks this one. The kernel drops a lock when its holder exits, however it
// ends, so a crashed instance never blocks the next start. Descriptors are close-on-exec, so
// a launched setup does not keep the lock alive after the host exits.
class FlockInstanceLocks : public InstanceLocks {
 public:
  // Lock files go into `folder`; empty means the private state folder. Without one the locks
  // cannot be taken, and the start goes on unguarded.
  explicit FlockInstanceLocks(std::filesystem::path folder = {});
  ~FlockInstanceLocks() override;

  FlockInstanceLocks(const FlockInstanceLocks&) = delete;
  FlockInstanceLocks& operator=(const FlockInstanceLocks&) = delete;

  bool IsHeldElsewhere(const char* name) override;
  bool Hold(const char* name) override;

  // The lock file for `name`.
  std::filesystem::path LockFilePath(const char* name) const;

 private:
  std::filesystem::path folder_;
  std::vector<int> held_;
};
