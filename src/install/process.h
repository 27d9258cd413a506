#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "install/setup_signature.h"

// Starting a program and waiting for its exit: one backend per platform.
//
// The program gets its own path and then the arguments given, exactly (argv on Linux; on Windows
// one command line quoted so that the C runtime splits it back into the same list), the folder
// that holds it as working directory, the caller's environment, and none of the caller's open
// files or sockets besides standard input, output and error.
//
// An installer package (.msi) is not a program: on Windows the system's installer starts it,
// `<System32>\msiexec.exe /i <package> <arguments>`, found by its full path and never by name,
// and its exit code is the installation's result (0, 1602 cancelled, 3010 and 1641 restart
// needed or started, ...). Other systems have no installer for it (CanStartInstallerPackages).

struct LaunchOutcome {
  bool started = false;
  uint32_t errorCode = 0;  // when not started: a Win32 error code (0 when the platform gave none)
  uint32_t exitCode = 0;   // when started: the program's exit code
  std::string detail;      // the platform's own description of a failure, for the log
};

struct LaunchCommand {
  std::filesystem::path program;       // the program, or the installer package
  std::vector<std::string> arguments;  // UTF-8, after the program's path (or after /i <package>)
  bool installerPackage = false;
};

// Whether this system can start an installer package at all.
bool CanStartInstallerPackages();

// Starts the command, waits without a time limit, and reports how it went. `held` (may be null:
// the file whose signature was checked) is closed as soon as a program has started; a package,
// which the installer opens only after it has started, stays held (shared with readers) until
// the installer has exited.
LaunchOutcome StartAndWait(const LaunchCommand& command, std::unique_ptr<HeldProgram> held);

// A Win32 error code for a failure of a file system call on this platform.
uint32_t Win32ErrorFromSystemError(const std::error_code& error);
