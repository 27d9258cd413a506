#include "install/process_posix.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/page_results.h"
#include "install/process.h"
#include "install/setup_signature.h"

namespace {

struct ErrnoMapping {
  int error;
  uint32_t code;
};

// The table of process_posix.h.
constexpr ErrnoMapping kErrnoMappings[] = {
    {ENOENT, 2},    {ENOTDIR, 3},   {EMFILE, 4},         {ENFILE, 4},   {EACCES, 5},
    {EPERM, 5},     {EISDIR, 5},    {ENOMEM, 8},         {ETXTBSY, 32}, {EINVAL, 87},
    {ENOEXEC, 193}, {ELIBBAD, 193}, {ENAMETOOLONG, 206}, {E2BIG, 206},  {EIO, 1117},
    {EAGAIN, 1450}, {ELOOP, 1921},
};

}  // namespace

uint32_t LaunchErrorFromErrno(int error) {
  for (const ErrnoMapping& m : kErrnoMappings) {
    if (m.error == error) return m.code;
  }
  return page_result::kNoMatchingCode;
}

uint32_t Win32ErrorFromSystemError(const std::error_code& error) {
  return LaunchErrorFromErrno(error.value());
}

namespace {

// Owns the two spawn descriptions for the length of one call.
struct SpawnSetup {
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

std::string ErrnoText(const char* call, int error) {
  return std::string(call) + " errno=" + std::to_string(error) + " (" + std::strerror(error) + ")";
}

}  // namespace

bool CanStartInstallerPackages() {
  return false;
}

LaunchOutcome StartAndWait(const LaunchCommand& command,
                           std::unique_ptr<HeldProgram> heldUntilStarted) {
  LaunchOutcome outcome;
  std::error_code ec;
  // Absolute first: the child changes folder before it executes the path.
  std::filesystem::path program = std::filesystem::absolute(command.program, ec);
  if (ec) program = command.program;
  const std::filesystem::path folder = program.parent_path();

  SpawnSetup setup;
  int error = posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
  // The host's log files, sockets and lock files stay with the host.
  if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
  // The window thread may block or ignore signals (SIGPIPE); the setup starts clean.
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  if (error == 0) error = posix_spawnattr_setsigdefault(&setup.attributes, &all);
  if (error == 0) error = posix_spawnattr_setsigmask(&setup.attributes, &none);
  if (error == 0) {
    error =
        posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  if (error != 0) {
    outcome.errorCode = LaunchErrorFromErrno(error);
    outcome.detail = ErrnoText("posix_spawn setup", error);
    return outcome;
  }

  std::string path = program.string();
  std::vector<std::string> words = command.arguments;
  std::vector<char*> argv{path.data()};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  error = posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
  heldUntilStarted.reset();
  if (error != 0) {
    outcome.errorCode = LaunchErrorFromErrno(error);
    outcome.detail = ErrnoText("posix_spawn", error);
    return outcome;
  }
  outcome.started = true;

  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (waited < 0) {
    outcome.exitCode = page_result::kNoExitStatus;
  } else if (WIFEXITED(status)) {
    outcome.exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    outcome.exitCode = kSignalExitBase | static_cast<uint32_t>(WTERMSIG(status));
  } else {
    outcome.exitCode = page_result::kNoExitStatus;
  }
  return outcome;
}
