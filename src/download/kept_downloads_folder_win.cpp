#include <system_error>

#include "base/working_folder.h"
#include "download/kept_downloads.h"

// Beside the working folders, so that taking kept bytes is a rename. The working root is the
// user's own temporary folder, or while elevated the protected root, whose rules
// CreateWorkingFolders applies and checks (a folder someone else made or a link is refused).
std::optional<std::filesystem::path> KeptDownloadsFolder() {
  const std::filesystem::path folder = TempDirectory() / L"Velmorante-downloads";
  std::error_code ec;
  CreateWorkingFolders(folder, folder, ec);
  if (ec) return std::nullopt;
  return folder;
}
