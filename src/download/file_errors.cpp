#include "download/file_errors.h"

#include "base/hresult.h"

uint32_t Win32ErrorFromFileError(const std::error_code& error) {
  if (!error) return 0;
  if (error == std::errc::no_space_on_device) return win32::kDiskFull;
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system) {
    return win32::kAccessDenied;
  }
  if (error == std::errc::file_too_large) return win32::kFileTooLarge;
  if (error == std::errc::no_such_file_or_directory) return win32::kPathNotFound;
  if (error == std::errc::not_a_directory) return win32::kDirectory;
  if (error == std::errc::file_exists) return win32::kAlreadyExists;
  if (error == std::errc::filename_too_long) return win32::kFilenameTooLong;
  if (error == std::errc::invalid_argument) return win32::kInvalidName;
  if (error == std::errc::not_enough_memory) return win32::kNotEnoughMemory;
  return win32::kWriteFault;
}

uint32_t Win32ErrorFromFileErrno(int error) {
  return Win32ErrorFromFileError(std::error_code(error, std::generic_category()));
}
