#include "diag/system_info.h"

#include "base/elevation.h"
#include "base/environment.h"
#include "diag/machine_id.h"
#include "diag/system_probe.h"
#include "diag/webhook_endpoint.h"

using nlohmann::json;

std::string MegabytesText(uint64_t bytes) {
  return std::to_string(bytes >> 20);
}

json BuildSystemInfo(const SystemFacts& facts) {
  json info = json::object();
  info["machineId"] = MachineIdFromGuid(facts.machineGuid);
  info["machineIdRaw"] = facts.machineGuid;
  info["ProcessorType"] = facts.processor.type;
  info["ProcessorArchitecture"] = facts.processor.architecture;
  info["NumberOfProcessors"] = facts.processor.count;
  info["ProcessorLevel"] = facts.processor.level;
  info["ProcessorRevision"] = facts.processor.revision;
  info["localFolder"] = facts.localFolder;
  if (facts.drive) {
    // "Avaliable" is how the page has always spelt it.
    info["DriveSpace"] = {{"Drive", facts.drive->drive},
                          {"AvaliableMB", MegabytesText(facts.drive->availableBytes)},
                          {"TotalMB", MegabytesText(facts.drive->totalBytes)}};
  }
  info["VLM_IS_DEV"] = facts.isDev.value_or("0");
  if (facts.logLevel) info["VLM_LOG_LEVEL"] = *facts.logLevel;
  info["isDebugBuild"] = 0;
  // A page offers to report a problem only when the report can reach someone.
  info["webhookConfigured"] = facts.webhookConfigured;
  return info;
}

std::string SerializeSystemInfo(const json& info) {
  return info.dump(-1, ' ', false, json::error_handler_t::replace);
}

SystemFacts ProbeSystemFacts(const std::filesystem::path& uiFolder) {
  SystemFacts facts;
  facts.machineGuid = ReadMachineGuid();
  facts.processor = ReadProcessorInfo();
  const std::u8string folder = uiFolder.u8string();
  facts.localFolder.assign(folder.begin(), folder.end());
  facts.drive = ReadSystemDriveSpace();
  // Elevated, the developer switch is ignored (bridge/dev_environment.h), and the page is told
  // so rather than shown a switch that does nothing.
  if (!ProcessIsElevated())
    facts.isDev = ReadBoundedEnvironmentVariable("VLM_IS_DEV", kSysInfoEnvironmentBufferUnits);
  facts.logLevel = ReadBoundedEnvironmentVariable("VLM_LOG_LEVEL", kSysInfoEnvironmentBufferUnits);
  const std::optional<WebhookEndpoint> webhook = ParseWebhookUrl(ConfiguredWebhookUrl());
  facts.webhookConfigured = webhook && webhook->IsConfigured();
  return facts;
}
