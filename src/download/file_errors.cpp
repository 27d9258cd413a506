#include "download/file_errors.h"

#include "base/hresult.h"
#include "base/page_results.h"

uint32_t Win32ErrorFromFileError(const std::error_code& error) {
  if (!error) return 0;
  if (error == std::errc::no_space_on_device) return page_result::kDiskFull;
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system) {
    return page_result::kAccessDenied;
  }
  if (error == std::errc::file_too_large) return page_result::kFileTooLarge;
  if (error == std::errc::no_such_file_or_directory) return page_result::kPathNotFound;
  if (error == std::errc::not_a_directory) return page_result::kDirectory;
  if (error == std::errc::file_exists) return page_result::kAlreadyExists;
  if (error == std::errc::filename_too_long) return page_result::kFilenameTooLong;
  if (error == std::errc::invalid_argument) return page_result::kInvalidName;
  if (error == std::errc::not_enough_memory) return page_result::kNotEnoughMemory;
  return page_result::kWriteFault;
}

uint32_t Win32ErrorFromFileErrno(int error) {
  return Win32ErrorFromFileError(std::error_code(error, std::generic_category()));
}
