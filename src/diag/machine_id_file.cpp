#include "diag/machine_id_file.h"

#include <fstream>

#include "diag/machine_id.h"

namespace {

std::string ReadOne(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text(kMachineGuidMaxBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return {};
  const auto length = static_cast<size_t>(in.gcount());
  if (length > kMachineGuidMaxBytes) return {};
  text.resize(length);
  std::string guid = NormalizeMachineGuid(text);
  // Shared by every image that has not booted to completion yet: no identifier at all.
  if (guid == "uninitialized") return {};
  return guid;
}

}  // namespace

std::string ReadMachineGuidFromFiles(const std::vector<std::filesystem::path>& candidates) {
  for (const auto& file : candidates) {
    std::string guid = ReadOne(file);
    if (!guid.empty()) return guid;
  }
  return {};
}
