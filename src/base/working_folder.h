#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// Every download and extraction works in a folder of its own, named by a fresh GUID in registry
// form, under the working root: the user's temporary folder, or on Windows while the process is
// elevated the protected root (base/protected_folder_win.h), where no process of the user's
// without elevation can change anything.

// The folder name used when no GUID can be made (36 characters, no braces).
inline constexpr char kNullGuidFolderName[] = "00000000-0000-0000-0000-000000000000";

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal, 38 characters.
std::string FormatRegistryGuid(const std::array<uint8_t, 16>& bytes);

// A fresh random GUID in registry form, or kNullGuidFolderName when none can be made.
std::string NewGuidFolderName();

// The working root: $TMPDIR when set and non-empty, else /tmp on Linux; on Windows the
// protected root while elevated (made by CreateWorkingFolders, not here), else the user's
// temporary folder. Ends with a separator on Windows.
std::filesystem::path TempDirectory();

// TempDirectory() joined with NewGuidFolderName(). The folder is not created.
std::filesystem::path NewWorkingFolderPath();

// Creates one new folder (its parent must exist) that only this user may use (0700 on Linux;
// on Windows the protected rules while elevated, else the user's temporary folder's own); an
// existing one is an error (EEXIST), since it may not be ours.
void CreatePrivateFolder(const std::filesystem::path& folder, std::error_code& ec);

// Creates `workingFolder` when it is missing, as CreatePrivateFolder does (on Windows while
// elevated, the run's protected root it lies in is settled first, taken back from whoever made
// it if need be; its error, FolderError::kNotProtected say, when none can be had), then the
// folders from it down to
// `inside` (which must lie within it) one at a time. A folder that nobody else can enter keeps
// its contents from being swapped between the steps that write and use them. A link at any
// folder below it (a symbolic link; on Windows any reparse point, also at the working folder
// itself) is refused (FolderError::kReparsePoint), never followed.
void CreateWorkingFolders(const std::filesystem::path& workingFolder,
                          const std::filesystem::path& inside, std::error_code& ec);

// The platform's steps of CreateWorkingFolders.
// Makes `folder` when missing (its parents as needed) as CreatePrivateFolder does; an existing
// one must be a real folder on Windows.
void EnsureWorkingFolder(const std::filesystem::path& folder, std::error_code& ec);
// Makes the folder `folder` when missing (its parent exists); refuses a link or anything that
// is not a real folder there.
void EnsureFolderStep(const std::filesystem::path& folder, std::error_code& ec);
