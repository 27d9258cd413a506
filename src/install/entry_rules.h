#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "install/zip_reader.h"

// How an archive entry maps onto the extraction folder. Archives come from the network, so
// nothing in an entry may reach outside the folder or carry privileges onto the disk.

// The path under `folder` for the entry named `storedName`, after turning backslashes into
// slashes. nullopt for a name that could leave the folder: empty, absolute ("/x", "//server"
// or "\\server"), with a drive letter ("C:x"), or with a ".." component.
std::optional<std::filesystem::path> EntryTargetPath(const std::filesystem::path& folder,
                                                     std::string_view storedName);

// The permission bits for an extracted file: 0644, plus the execute bits (owner, group,
// other) of the entry's recorded Unix mode. Set-user-ID, set-group-ID, sticky and group or
// world write are never given.
uint32_t ExtractedFileMode(const ZipEntryInfo& entry);
