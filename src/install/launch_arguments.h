#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// The optional `arguments` of a doLaunchSetup message: the words the setup gets after its own
// path. A list of strings, bounded so that, quoted (install/command_line.h: at most twice its
// bytes plus three per word), it takes at most about half of a Windows command line's 32767
// characters and leaves the rest to the program's path; and free of NUL characters, which neither a
// command line nor an argv can carry. Absent is an empty list; anything else (null, a string, a
// list holding another type, too many or too long words) is refused.
inline constexpr size_t kMaxLaunchArguments = 64;
inline constexpr size_t kMaxLaunchArgumentBytes = 2048;
inline constexpr size_t kMaxLaunchArgumentsBytes = 8192;  // all words together

// nullopt, with the reason in `why`, when the member is present and malformed.
std::optional<std::vector<std::string>> LaunchArguments(const nlohmann::json& message,
                                                        std::string& why);

// Whether the file is an installer package by its name: the extension .msi, in any case.
bool IsInstallerPackage(const std::filesystem::path& path);
