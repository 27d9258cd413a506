#pragma once

#include <string>
#include <vector>

#include "app/startup.h"

// The single-instance locks on Windows: named mutexes in the session's namespace. A name counts
// as taken while any process has a handle on it, so the guard is the name's existence, not who
// owns the mutex; the system closes a crashed instance's handles, so it never blocks the next
// start. Handles are not inheritable: a launched setup does not keep the name alive after the
// host exits. Only "the name already exists" stops a start; any other failure (access denied,
// say) lets it go on without the guard.
class MutexInstanceLocks : public InstanceLocks {
 public:
  // `namePrefix` is put before every name, so that tests can run beside a real instance.
  explicit MutexInstanceLocks(std::string namePrefix = {});
  ~MutexInstanceLocks() override;

  MutexInstanceLocks(const MutexInstanceLocks&) = delete;
  MutexInstanceLocks& operator=(const MutexInstanceLocks&) = delete;

  bool IsHeldElsewhere(const char* name) override;
  bool Hold(const char* name) override;

 private:
  std::string namePrefix_;
  std::vector<void*> held_;  // mutex handles, closed with this object
};
