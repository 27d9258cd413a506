#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Symbolic-link entries (`libx.so -> libx.so.1`). A link is made only when what it names,
// resolved inside the extraction folder, stays inside it, so that neither the extraction nor
// the setup that runs from the folder is led outside by a link from the archive.
//
// The engine makes links after every other entry: while files are written no link exists in
// the folder, so no entry is ever written through one. Links are then made in archive order;
// a link is resolved through the links already made.
// Does not promise: anything on Windows, where link entries are refused (LinksAreExtracted).

// Whether this platform makes link entries at all.
bool LinksAreExtracted();

// Why the link `linkKey` (an EntryKey under `folder`) holding `target` may not be made, or
// nullopt when it may. Refused: an empty, absolute or overlong target, a control character,
// a target that climbs out of the folder (also through a link already made), and a target
// that goes on through something that is not a folder yet (a later link could turn it into
// one that leaves). The final component may name nothing yet.
std::optional<std::string> LinkRefusal(const std::filesystem::path& folder,
                                       std::string_view linkKey, std::string_view target);

// True when a folder on the way to `key` under `folder` is a link.
bool PassesThroughLink(const std::filesystem::path& folder, std::string_view key);

// Makes the link at `path` holding `target`; never replaces anything at `path`. False with the
// platform's text in `error`.
bool CreateEntryLink(const std::filesystem::path& path, const std::string& target,
                     std::string& error);
