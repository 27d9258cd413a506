#pragma once

#include <cstdint>

// How the Linux launcher states its outcomes in the Win32 terms the page knows.
//
// A failed start (errno of posix_spawn, or of the file-status read) becomes:
//   ENOENT                 2    ERROR_FILE_NOT_FOUND
//   ENOTDIR                3    ERROR_PATH_NOT_FOUND
//   EMFILE, ENFILE         4    ERROR_TOO_MANY_OPEN_FILES
//   EACCES, EPERM, EISDIR  5    ERROR_ACCESS_DENIED (also: no execute permission)
//   ENOMEM                 8    ERROR_NOT_ENOUGH_MEMORY
//   ETXTBSY                32   ERROR_SHARING_VIOLATION (the file is open for writing)
//   EINVAL                 87   ERROR_INVALID_PARAMETER
//   ENOEXEC, ELIBBAD       193  ERROR_BAD_EXE_FORMAT (not a program the system can run)
//   ENAMETOOLONG, E2BIG    206  ERROR_FILENAME_EXCED_RANGE
//   EIO                    1117 ERROR_IO_DEVICE
//   EAGAIN                 1450 ERROR_NO_SYSTEM_RESOURCES (process limit reached)
//   ELOOP                  1921 ERROR_CANT_RESOLVE_FILENAME (symbolic link loop)
//   0, any other           120  ERROR_CALL_NOT_IMPLEMENTED (no matching code)
//
// A program ended by a signal reports 0xC0000000 | signal number (SIGSEGV 0xC000000B,
// SIGKILL 0xC0000009), in the range of Windows' failure statuses and never a Linux exit code.
// When its status cannot be collected at all, the result is 128 ERROR_WAIT_NO_CHILDREN.

inline constexpr uint32_t kSignalExitBase = 0xC0000000u;

uint32_t LaunchErrorFromErrno(int error);
