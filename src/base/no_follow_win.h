#pragma once

#include <windows.h>

#include <filesystem>

// Windows: looking at what is at a path itself, never at what a link there names. An elevated
// process that follows a junction or symbolic link planted by a user writes, reads or deletes
// wherever that user chose.

// Opens the entry at `path` itself: a reparse point is opened, not followed; a folder opens too.
// INVALID_HANDLE_VALUE on failure, with the reason in GetLastError().
HANDLE OpenEntry(const std::filesystem::path& path, DWORD access, DWORD share);

// True when the entry opened as `handle` from `path` is a reparse point (junction, symbolic
// link, mount point). The handle's attributes decide, as they cannot change under it; the
// name's directory entry is asked too, because some file systems show a link only there (so
// does Wine for a Unix symbolic link to a folder).
bool IsReparsePoint(HANDLE handle, const std::filesystem::path& path);

// True when the handle's own attributes say reparse point: what the handle deletes is then the
// link itself. False also when the handle reaches through a link the name shows (Wine).
bool HandleIsReparsePoint(HANDLE handle);

// True when the entry opened as `handle` is a folder.
bool IsFolder(HANDLE handle);

// Opens `folder` itself (OpenEntry, sharing everything) and keeps the handle only when it is a
// real folder: INVALID_HANDLE_VALUE with `ec` set for a failure, a reparse point or anything
// else. The caller closes the handle.
HANDLE OpenRealFolder(const std::filesystem::path& folder, DWORD access, std::error_code& ec);

// A Win32 error code as a std::error_code.
std::error_code Win32Error(DWORD error);
