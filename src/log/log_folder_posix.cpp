#include "base/private_state_folder.h"
#include "log/log_folder.h"

std::filesystem::path DefaultLogFolder() {
  const std::optional<std::filesystem::path> state = PrivateStateFolder();
  if (!state) return {};
  std::filesystem::path logs = *state / "Logs";
  return EnsurePrivateFolder(logs) ? logs : std::filesystem::path();
}
