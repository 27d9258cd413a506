#pragma once

#include <cstdint>
#include <system_error>

// The Win32 error number that stands for a file-system failure, so that the page sees the same
// numbers on every platform (112 disk full, 5 access denied, ...). Unlisted failures give 29
// (ERROR_WRITE_FAULT); no failure gives 0.
uint32_t Win32ErrorFromFileError(const std::error_code& error);
uint32_t Win32ErrorFromFileErrno(int error);
