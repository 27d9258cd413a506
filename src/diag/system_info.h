#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "diag/processor_info.h"

// The machine snapshot of doGetSysInfo, kept apart from the probes that fill it so that the
// exact object can be built from fixed inputs.

struct DriveSpace {
  std::string drive;            // the volume's root as the page shows it ("C:\", "/")
  uint64_t availableBytes = 0;  // available to the calling user
  uint64_t totalBytes = 0;
};

struct SystemFacts {
  std::string machineGuid;  // normalised; empty when it cannot be read
  ProcessorInfo processor;
  std::string localFolder;  // the UI folder, UTF-8
  std::optional<DriveSpace> drive;
  std::optional<std::string> isDev;     // VLM_IS_DEV under the 64-character rule; unset elevated
  std::optional<std::string> logLevel;  // VLM_LOG_LEVEL under the 64-character rule
  bool webhookConfigured = false;       // postToTeams has somewhere to send reports
};

// An environment value that needs more than this many UTF-16 units with its terminator counts
// as unset: 63 units are reported, 64 are not.
inline constexpr size_t kSysInfoEnvironmentBufferUnits = 64;

// Decimal text of whole mebibytes, rounded down: 1,048,575 bytes give "0".
std::string MegabytesText(uint64_t bytes);

// The object, members sorted by key: "DriveSpace" (only with a drive), the five processor
// numbers, "VLM_IS_DEV" ("0" when unset), "VLM_LOG_LEVEL" (only when set), "isDebugBuild" 0,
// "localFolder", "machineId" (digest of the GUID), "machineIdRaw", "webhookConfigured".
nlohmann::json BuildSystemInfo(const SystemFacts& facts);

// Compact JSON of `info`; bytes that are not UTF-8 (a path, an environment value) become
// U+FFFD instead of failing the answer.
std::string SerializeSystemInfo(const nlohmann::json& info);

// Reads everything afresh from the machine and the environment; never fails (missing parts
// stay empty or absent as described above).
SystemFacts ProbeSystemFacts(const std::filesystem::path& uiFolder);
