#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The setup program that a doLaunchSetup message names, from its `unzipdir` and `launcherName`
// (UTF-8).
//
// An absolute launcherName is taken as it is: the page may run any program it names by its full
// path. A relative one names a file inside unzipdir and may not leave it, so a name with a `..`
// component, a root directory without a drive ("\tools\x.exe") or a drive without a root
// ("C:x.exe") is refused (nullopt): appended to the folder, each would resolve somewhere else
// without saying so.
std::optional<std::filesystem::path> LauncherPath(const std::string& unzipdir,
                                                  const std::string& launcherName);
