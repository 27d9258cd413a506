#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Starts the installed product and does not wait for it: one backend per platform.
//
// The program gets no arguments, its own folder as working directory and none of the host's
// open files. It is the user's program, not part of the installation, so it never inherits
// the installer's rights: on Windows the desktop's shell starts it as the signed-in user; where
// no desktop shell answers it is started directly only while this process is not elevated
// (base/elevation.h), and the log says so. On Linux it starts in a session of its own, so that
// closing the installer does not end it, and not at all while elevated (nothing there starts
// it with the user's rights instead).
//
// Returns 0 once the program has started; page_result::kProductNotStartedElevated when only a
// start with the installer's rights was left; else a Win32 error code (on Linux mapped from
// errno as process_posix.h lists; an HRESULT's low 16 bits on Windows), with the platform's own
// words in `detail` for the log.
uint32_t StartProduct(const std::filesystem::path& program, std::string& detail);
