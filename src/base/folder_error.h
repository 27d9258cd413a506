#pragma once

#include <system_error>

// Why a folder of the program's own was refused. Each compares equal to
// std::errc::permission_denied, so a caller that turns file errors into codes for the page
// reports access denied; message() is the text for the log and the page.
enum class FolderError {
  kNotProtected = 1,  // someone besides SYSTEM and Administrators may change it
  kReparsePoint = 2,  // a link (reparse point, symbolic link) stands where a folder should
};

template <>
struct std::is_error_code_enum<FolderError> : std::true_type {};

const std::error_category& FolderErrorCategory();

inline std::error_code make_error_code(FolderError error) {
  return {static_cast<int>(error), FolderErrorCategory()};
}
