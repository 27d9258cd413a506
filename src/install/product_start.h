#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Starts the installed product and does not wait for it: one backend per platform.
//
// The program gets no arguments, its own folder as working directory and none of the host's
// open files. It is the user's program, not part of the installation, so it must not inherit
// the installer's rights: on Windows the desktop's shell starts it as the signed-in user (only
// where no desktop shell answers is it started directly, and the log says so); on Linux it
// starts in a session of its own, so that closing the installer does not end it.
//
// Returns 0 once the program has started, else a Win32 error code (on Linux mapped from errno
// as process_posix.h lists; an HRESULT's low 16 bits on Windows), with the platform's own words
// in `detail` for the log.
uint32_t StartProduct(const std::filesystem::path& program, std::string& detail);
