#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "install/setup_signature.h"

// Starting a program and waiting for its exit: one backend per platform.
//
// The program gets no arguments (its own path is its whole command line), the folder that holds
// it as working directory, the caller's environment, and none of the caller's open files or
// sockets besides standard input, output and error.

struct LaunchOutcome {
  bool started = false;
  uint32_t errorCode = 0;  // when not started: a Win32 error code (0 when the platform gave none)
  uint32_t exitCode = 0;   // when started: the program's exit code
  std::string detail;      // the platform's own description of a failure, for the log
};

// Starts `executable`, waits without a time limit, and reports how it went. `heldUntilStarted`
// (may be null: the file whose signature was checked) is closed as soon as the start returns.
LaunchOutcome StartAndWait(const std::filesystem::path& executable,
                           std::unique_ptr<HeldProgram> heldUntilStarted);

// A Win32 error code for a failure of a file system call on this platform.
uint32_t Win32ErrorFromSystemError(const std::error_code& error);
