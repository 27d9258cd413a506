#pragma once

#include <filesystem>
#include <system_error>

// Windows, elevated: taking back a folder of the program's own name in the protected root that
// someone else got to first. Any user may make folders in the system's temporary folder, so a
// user can make the root before the program does; refusing it for good would keep every
// elevated run of every vendor's installer from working until an administrator removed it.
//
// TakeBackFolder opens what is at `folder` itself (never what a link there names), with the
// backup, restore and take-ownership rights of an administrator's token, and allowing nobody
// else to add to it or delete it while it is held:
//  - a link or a file there is removed itself, so the caller can make the folder anew;
//  - a folder gets Administrators as owner and the protected rules (base/protected_folder_win.h),
//    and only then is everything inside removed through handles (base/tree_removal_win.h), so
//    nothing the squatter left or could still add is ever used.
// Fails (and the caller refuses the folder for this run only) when another process holds it
// open to write or delete (ERROR_SHARING_VIOLATION), when a link there cannot be removed
// without following it (FolderError::kReparsePoint), or when something inside cannot be
// removed (FolderError::kNotProtected). The next run tries again.
void TakeBackFolder(const std::filesystem::path& folder, std::error_code& ec);
