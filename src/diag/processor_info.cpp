#include "diag/processor_info.h"

#include <cstdlib>

X86Signature DecodeX86Signature(uint32_t eax) {
  const uint32_t baseFamily = (eax >> 8) & 0xF;
  const uint32_t baseModel = (eax >> 4) & 0xF;
  X86Signature signature;
  signature.stepping = eax & 0xF;
  signature.family = baseFamily == 0xF ? baseFamily + ((eax >> 20) & 0xFF) : baseFamily;
  signature.model =
      (baseFamily == 0x6 || baseFamily == 0xF) ? (((eax >> 16) & 0xF) << 4) | baseModel : baseModel;
  return signature;
}

void SetX86LevelAndRevision(const X86Signature& signature, ProcessorInfo& info) {
  info.level = signature.family;
  info.revision = ((signature.model & 0xFF) << 8) | (signature.stepping & 0xFF);
}

namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

uint32_t NumberOr0(const std::optional<std::string>& text) {
  if (!text || text->empty()) return 0;
  char* end = nullptr;
  // Base 0: the kernel writes the variant in hexadecimal ("0x1") and the rest in decimal.
  const unsigned long value = std::strtoul(text->c_str(), &end, 0);
  return (*end == '\0' && value <= 0xFFFF) ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

std::optional<std::string> CpuinfoValue(std::string_view cpuinfo, std::string_view key) {
  size_t start = 0;
  bool inBlock = false;
  while (start < cpuinfo.size()) {
    size_t end = cpuinfo.find('\n', start);
    if (end == std::string_view::npos) end = cpuinfo.size();
    const std::string_view line = cpuinfo.substr(start, end - start);
    start = end + 1;
    // A blank line ends the first processor's block.
    if (Trim(line).empty()) {
      if (inBlock) break;
      continue;
    }
    inBlock = true;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (Trim(line.substr(0, colon)) == key) return std::string(Trim(line.substr(colon + 1)));
  }
  return std::nullopt;
}

void SetArmLevelAndRevision(std::string_view cpuinfo, ProcessorInfo& info) {
  info.level = NumberOr0(CpuinfoValue(cpuinfo, "CPU architecture"));
  const uint32_t variant = NumberOr0(CpuinfoValue(cpuinfo, "CPU variant"));
  const uint32_t revision = NumberOr0(CpuinfoValue(cpuinfo, "CPU revision"));
  info.revision = ((variant & 0xFF) << 8) | (revision & 0xFF);
}
