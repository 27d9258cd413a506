#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which archives an extraction may delete. The page names the archive, so a page could name
// any file the user can delete; only a file that lies inside one of this run's own working
// folders (where its downloads put their archives) is taken as one the run produced.

// True when `archive` (UTF-8, absolute) lies strictly inside one of `workingFolders` (UTF-8).
// A path with a "." or ".." component is never inside: an extraction folder may hold links,
// and ".." after a link climbs from where the link points, not from where it stands.
bool IsInsideWorkingFolder(std::string_view archive,
                           const std::vector<std::string>& workingFolders);
