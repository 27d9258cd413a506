#pragma once

#include <optional>
#include <string>
#include <string_view>

// The folder that `name`, written `%name%` in a product folder, stands for when it is one of the
// system's known folders; nullopt for any other name or when the system cannot say. Names are
// compared without regard to case, as environment names are on Windows.
//
// An installer with administrator rights takes a product folder's `%NAME%` only from here, never
// from its environment, which the signed-in user's other programs can set for the next elevated
// start. Windows: SHGetKnownFolderPath for ProgramFiles, ProgramFilesX86 ("ProgramFiles(x86)"
// too), ProgramW6432, CommonProgramFiles, ProgramData, LocalAppData, AppData, UserProfile,
// Public, SystemRoot and windir. POSIX: HOME, XDG_DATA_HOME and XDG_CONFIG_HOME as the password
// database's home folder gives them (~, ~/.local/share, ~/.config).
std::optional<std::string> KnownFolderPath(std::string_view name);
