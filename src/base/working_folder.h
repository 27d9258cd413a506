#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// Every download and extraction works in a folder of its own under the user's temporary
// folder, named by a fresh GUID in registry form.

// The folder name used when no GUID can be made (36 characters, no braces).
inline constexpr char kNullGuidFolderName[] = "00000000-0000-0000-0000-000000000000";

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal, 38 characters.
std::string FormatRegistryGuid(const std::array<uint8_t, 16>& bytes);

// A fresh random GUID in registry form, or kNullGuidFolderName when none can be made.
std::string NewGuidFolderName();

// The user's temporary folder: $TMPDIR when set and non-empty, else /tmp on Linux.
std::filesystem::path TempDirectory();

// TempDirectory() joined with NewGuidFolderName(). The folder is not created.
std::filesystem::path NewWorkingFolderPath();

// Creates one new folder (its parent must exist) that only this user may use; an existing one is
// an error (EEXIST), since it may not be ours.
void CreatePrivateFolder(const std::filesystem::path& folder, std::error_code& ec);

// Creates `workingFolder` when it is missing, for this user alone whatever the umask (0700 on
// Linux; on Windows the user's temporary folder already is the user's own), then the folders
// from it down to `inside` (which must lie within it) as usual: a folder that nobody else can
// enter keeps its contents from being swapped between the steps that write and use them.
void CreateWorkingFolders(const std::filesystem::path& workingFolder,
                          const std::filesystem::path& inside, std::error_code& ec);
