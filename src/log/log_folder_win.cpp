#include "base/protected_folder_win.h"
#include "log/log_folder.h"

std::filesystem::path DefaultLogFolder() {
  std::error_code ec;
  return OwnStateFolder("Logs", ec);  // empty when it cannot be made safe
}
