#pragma once

#include <windows.h>

#include <filesystem>

#include "base/tree_removal.h"

// Windows: the handle-based steps of RemoveFolderTree, for a caller that already holds the
// folder open (base/folder_takeback_win.h).

// Removes everything inside the folder opened as `folder` (named `path` in reports), read
// through that handle: links are removed themselves, never followed. What cannot go is told to
// `skipped`, and the walk goes on.
void RemoveFolderContents(HANDLE folder, const std::filesystem::path& path,
                          const RemovalSkipped& skipped);

// Marks the entry opened as `handle` (with DELETE access) for deletion; it goes when the last
// handle closes. A read-only entry is made writable first. False with the Win32 error otherwise.
bool DeleteByHandle(HANDLE handle, DWORD& error);
