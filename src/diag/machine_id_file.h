#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Machine GUID text kept in a file (the machine-id files of Linux).

// The largest GUID text accepted, in bytes; a longer one counts as unreadable, as a value that
// does not fit the platform's fixed buffer would.
inline constexpr size_t kMachineGuidMaxBytes = 255;

// The normalised text of the first file in `candidates` that holds a usable one. A file that is
// missing, unreadable, too long, blank or still "uninitialized" (a first boot that has not
// committed its id) is skipped. Empty when none qualifies.
std::string ReadMachineGuidFromFiles(const std::vector<std::filesystem::path>& candidates);
