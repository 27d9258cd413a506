#include "base/working_folder.h"
#include "log/log_folder.h"

std::filesystem::path DefaultLogFolder() {
  return TempDirectory() / "Velmorante" / "Logs";
}
