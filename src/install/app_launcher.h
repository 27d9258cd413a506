#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "install/setup_signature.h"

// Starts the setup program and waits for it. One object per launch; it keeps no state.
//
// Run blocks the calling thread (the window thread) until the program exits, with no time
// limit. Results:
//   the program's exit code  it ran and exited (a program ended by a signal on Linux reports
//                            0xC0000000 | signal number, e.g. SIGKILL = 3221225481)
//   404 (kNothingAtPath)     no file system object at the path
//   50 (kNotSupported)       an installer package (.msi) on a system without an installer
//   a Win32 error code       the program could not be started, or the path's status could not
//                            be read (on Linux mapped from errno, see process_posix.h);
//                            120 (kNoMatchingCode) when the platform gave no code
class AppLauncher {
 public:
  // `held`, when given, is the program's file as its signature was checked: kept open until the
  // program has started, so that what starts is what was checked. `arguments` follow the
  // program's path (install/process.h); an installer package is started by the system's
  // installer.
  int32_t Run(const std::filesystem::path& executable, std::unique_ptr<HeldProgram> held = nullptr,
              const std::vector<std::string>& arguments = {});
};
