#pragma once

#include <filesystem>
#include <system_error>

// Windows: the folders an elevated run works, logs and keeps web view data in. Only SYSTEM and
// Administrators may write in them, rename or delete what is inside or change their rules, so
// no process of the signed-in user without elevation can swap an archive, plant a DLL beside the
// setup or put a link where the program writes or deletes. A rule on the working folder alone
// would not do while its parent is the user's: the user could rename it away and plant another.
//
// The root is "<Windows folder>\Temp\Velmorante". The Windows folder comes from the system,
// never from the environment (which the user sets); the system's temporary folder is cleaned by
// the system, so a run that never cleans up leaves nothing for good.
// Does not promise: anything for a process that is not elevated (it uses the user's folders,
// base/working_folder.h), nor protection against administrators.

std::filesystem::path ProtectedRoot();

// Creates `folder` (its parent must exist) with the protected rules: full control for SYSTEM
// and Administrators, inherited by everything made inside, nothing inherited from the parent,
// owned by Administrators. An existing `folder` is accepted only when it is a real folder (not
// a reparse point), owned by SYSTEM or Administrators, whose rules let nobody else write, add,
// delete or change rules (FolderError::kNotProtected otherwise: someone got there first).
void EnsureProtectedFolder(const std::filesystem::path& folder, std::error_code& ec);

// Creates the new folder `folder` with the protected rules; an existing one is an error
// (std::errc::file_exists), since it may not be ours.
void CreateProtectedFolder(const std::filesystem::path& folder, std::error_code& ec);

// The folder `name` for the program's own state (its logs, the web view's data), created when
// missing: in the protected root while elevated, else in the user's temporary folder under
// "Velmorante". Empty, with the reason in `ec`, when it cannot be made safe.
std::filesystem::path OwnStateFolder(const char* name, std::error_code& ec);
