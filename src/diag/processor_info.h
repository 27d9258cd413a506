#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The processor as the page sees it: the numbers of the Windows SYSTEM_INFO record, whatever
// the platform. Other platforms translate their own description into this encoding.
struct ProcessorInfo {
  uint32_t type = 0;          // dwProcessorType: 8664 for x86-64, 0 where Windows has no code
  uint32_t architecture = 0;  // wProcessorArchitecture
  uint32_t count = 0;         // dwNumberOfProcessors: online logical processors
  uint32_t level = 0;         // wProcessorLevel: the processor family
  uint32_t revision = 0;      // wProcessorRevision: model * 256 + stepping
};

inline constexpr uint32_t kProcessorArchitectureAmd64 = 9;
inline constexpr uint32_t kProcessorArchitectureArm64 = 12;
inline constexpr uint32_t kProcessorArchitectureUnknown = 0xFFFF;
inline constexpr uint32_t kProcessorTypeAmd64 = 8664;

// Family, model and stepping as x86 processors report them (CPUID leaf 1, EAX), with the
// extended fields folded in the way vendors document: the extended family is added for base
// family 15, the extended model is prepended for families 6 and 15.
struct X86Signature {
  uint32_t family = 0;
  uint32_t model = 0;
  uint32_t stepping = 0;
};
X86Signature DecodeX86Signature(uint32_t eax);

// Level and revision in the Windows encoding from an x86 signature.
void SetX86LevelAndRevision(const X86Signature& signature, ProcessorInfo& info);

// The value of `key` for the first processor of a /proc/cpuinfo text ("CPU variant" gives
// "0x1"), trimmed. nullopt when the first processor has no such line.
std::optional<std::string> CpuinfoValue(std::string_view cpuinfo, std::string_view key);

// Level ("CPU architecture") and revision ("CPU variant" * 256 + "CPU revision") of an ARM
// processor from a /proc/cpuinfo text; fields that are missing or unreadable count as 0.
void SetArmLevelAndRevision(std::string_view cpuinfo, ProcessorInfo& info);
