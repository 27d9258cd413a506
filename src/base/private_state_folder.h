#pragma once

#include <filesystem>
#include <optional>

// Linux: the folder for this user's private program state (log files, single-instance locks),
// so that the program never writes through a folder another local user controls, and another
// user's instance never blocks this one.
//
// The first candidate that can be made safe: $XDG_RUNTIME_DIR/Velmorante, then
// $XDG_STATE_HOME/Velmorante, then $HOME/.local/state/Velmorante (a variable that is unset,
// empty or relative is skipped). nullopt when none can.
std::optional<std::filesystem::path> PrivateStateFolder();

// Makes `folder` safe for private state: created with mode 0700 when missing (its parents as
// needed), or already a real directory (not a symbolic link) owned by this user, whose mode is
// then narrowed to 0700 if it was wider. False when it is neither.
bool EnsurePrivateFolder(const std::filesystem::path& folder);
