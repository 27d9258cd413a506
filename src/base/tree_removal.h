#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

// Deleting what the program made without ever deleting through a link: the clean-up of working
// folders and the log retention run elevated on Windows, where a junction planted inside a
// folder would otherwise lead them into any folder of the system.
// POSIX: the standard library's calls, which see symbolic links. Windows: a walk by handles that
// opens every entry itself (never what a reparse point names) and deletes through that handle;
// the C++ library of the Windows toolchain does not see links there.

// Told about each entry that could not be examined or removed, with the reason.
using RemovalSkipped =
    std::function<void(const std::filesystem::path& path, const std::string& why)>;

// Removes `folder` and everything below it when `folder` is a real folder; a file or a link at
// `folder` is left alone, and nothing there is no error. Below it a link is removed itself,
// never followed. Read-only entries are made writable and removed. An entry that cannot be
// examined or removed goes to `skipped`, and the walk goes on with the rest.
void RemoveFolderTree(const std::filesystem::path& folder, const RemovalSkipped& skipped);

// Removes `path` when it is a plain file; a folder or a link is left (false, with the reason in
// `ec`), as is anything that cannot be removed.
bool RemovePlainFile(const std::filesystem::path& path, std::error_code& ec);
