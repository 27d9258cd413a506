#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/detached_thread.h"
#include "base/elevation.h"
#include "base/page_results.h"
#include "install/process_posix.h"
#include "install/product_start.h"

uint32_t StartProduct(const std::filesystem::path& program, std::string& detail) {
  if (ProcessIsElevated()) {
    detail = "an installer with administrator rights does not start it";
    return page_result::kProductNotStartedElevated;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  const std::filesystem::path folder = program.parent_path();
  int error = posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  if (error == 0) error = posix_spawnattr_setsigdefault(&attributes, &all);
  if (error == 0) error = posix_spawnattr_setsigmask(&attributes, &none);
  if (error == 0) {
    error = posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
  }
  pid_t pid = -1;
  if (error == 0) {
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    detail = "posix_spawn errno=" + std::to_string(error) + " (" + std::strerror(error) + ")";
    return LaunchErrorFromErrno(error);
  }
  // Nobody else waits for it: without this its exit would leave a zombie until the host ends.
  try {
    StartDetachedThread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    });
  } catch (const std::exception&) {
    // The program runs; only its exit status stays uncollected until the host ends.
  }
  return 0;
}
