#pragma once

#include <optional>

// Whether this process holds administrator rights that the signed-in user's other processes
// lack. While it does, every place it reads, verifies, starts from, logs into or deletes in must
// be one that only administrators can change (base/protected_folder_win.h).
// Windows: the process token is elevated (TokenElevation). POSIX: never; the program's folders
// there are the user's own and private already.
bool ProcessIsElevated();

// For tests only: ProcessIsElevated answers `elevated` from now on; nullopt asks the system
// again. Deliberately not an environment variable: an elevated process's environment is partly
// set by the user who started it.
void SetElevationForTesting(std::optional<bool> elevated);
