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
// the system, so a run that never cleans up leaves nothing for good. Any user may make folders
// there, so a user can get to that name first: such a folder is taken back; only when it cannot
// be, the run works in a root of its own whose name nobody can guess. Never a refusal for good.
// Does not promise: anything for a process that is not elevated (it uses the user's folders,
// base/working_folder.h), nor protection against administrators.

// "<Windows folder>\Temp\Velmorante": the root every run tries first.
std::filesystem::path UsualProtectedRoot();

// The root of this run, settled on the first call and the same on every later one: the usual
// root once it is protected (EnsureProtectedFolder: made, or found protected, or taken back);
// when it cannot be, a new folder "Velmorante-{GUID}" beside it, made now with the protected
// rules (a name that did not exist a moment ago is nobody else's). Empty, with the reason in
// `ec`, when neither can be made; the next call tries again.
std::filesystem::path ProtectedRoot(std::error_code& ec);
// The same, for naming what lies in it: the usual root when there is none.
std::filesystem::path ProtectedRoot();

// For tests: the next call to ProtectedRoot settles the root anew.
void ForgetProtectedRootForTesting();

// Creates `folder` (its parent must exist) with the protected rules: full control for SYSTEM
// and Administrators, inherited by everything made inside, nothing inherited from the parent,
// owned by Administrators. An existing `folder` is accepted only when it is a real folder (not
// a reparse point), owned by SYSTEM or Administrators, whose rules let nobody else write, add,
// delete or change rules. Anything else there (someone got there first) is taken back once
// (base/folder_takeback_win.h) and checked again; the error stays (FolderError::kNotProtected,
// kReparsePoint, or the reason the taking back failed) only for this call.
void EnsureProtectedFolder(const std::filesystem::path& folder, std::error_code& ec);

// Creates the new folder `folder` with the protected rules; an existing one is an error
// (std::errc::file_exists), since it may not be ours.
void CreateProtectedFolder(const std::filesystem::path& folder, std::error_code& ec);

// The folder `name` for the program's own state (its logs, the web view's data, the loader's
// copy), created when missing: in this run's protected root while elevated (made with the
// protected rules, or found there as a real folder: only administrators can have made it), else
// in the user's temporary folder under "Velmorante". Empty, with the reason in `ec`, when it
// cannot be made safe.
std::filesystem::path OwnStateFolder(const char* name, std::error_code& ec);
