#include <unistd.h>

#include <string>

#include "base/private_state_folder.h"
#include "base/working_folder.h"
#include "download/kept_downloads.h"

// Beside the working folders, so that taking kept bytes is a rename; /tmp is shared, so the
// folder carries the user's id and must be the user's own.
std::optional<std::filesystem::path> KeptDownloadsFolder() {
  const std::filesystem::path folder =
      TempDirectory() / ("Velmorante-downloads-" + std::to_string(::geteuid()));
  if (!EnsurePrivateFolder(folder)) return std::nullopt;
  return folder;
}
