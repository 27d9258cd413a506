#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "install/zip_reader.h"

// How an archive entry maps onto the extraction folder. Archives come from the network, so
// nothing in an entry may reach outside the folder or carry privileges onto the disk.

// The path under `folder` for the entry named `storedName`, after turning backslashes into
// slashes. nullopt for a name that could leave the folder: empty, absolute ("/x", "//server"
// or "\\server"), with a drive letter ("C:x"), or with a ".." component; and for a name with
// a control character (C0 or DEL), which would make a file named with a line break.
std::optional<std::filesystem::path> EntryTargetPath(const std::filesystem::path& folder,
                                                     std::string_view storedName);

// True when `text` holds a byte 0x00-0x1F or 0x7F. Checked on a name's stored bytes too: an
// unmarked name is decoded from the IBM PC code page, which turns controls into glyphs.
bool HasControlCharacter(std::string_view text);

// The name as a path relative to the folder, for telling whether two entries name the same
// path: slashes only, no empty or "." components, no trailing slash ("a//./b/" -> "a/b").
std::string EntryKey(std::string_view storedName);

// The permission bits for an extracted file: 0644, plus the execute bits (owner, group,
// other) of the entry's recorded Unix mode. Set-user-ID, set-group-ID, sticky and group or
// world write are never given.
uint32_t ExtractedFileMode(const ZipEntryInfo& entry);
