#include "diag/system_info.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "diag/machine_id.h"
#include "diag/machine_id_file.h"
#include "diag/processor_info.h"
#include "support/test_environment.h"

using nlohmann::json;

namespace {

constexpr char kGuid[] = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
constexpr char kGuidDigest[] = "2a877da80e460a1379a4ac2eaf3bc12d7c0d4b0bc545618def018c28cd178813";

void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(MachineIdTest, GuidIsNormalisedAndTheNormalisedTextIsDigested) {
  const std::string guid = NormalizeMachineGuid(" 6F9619FF-8B86-D011-B42D-00C04FC964FF\t\r\n\v\f");
  EXPECT_EQ(guid, kGuid);
  EXPECT_EQ(MachineIdFromGuid(guid), kGuidDigest);
  // Only A-Z are lowered and only the six blanks removed; other bytes pass untouched.
  EXPECT_EQ(NormalizeMachineGuid("{A b}\xC3\x89_Z"), "{ab}\xC3\x89_z");
  EXPECT_EQ(MachineIdFromGuid("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(MachineIdTest, NoGuidGivesNoIdentifierRatherThanTheDigestOfNothing) {
  EXPECT_EQ(MachineIdFromGuid(""), "");
  EXPECT_EQ(MachineIdFromGuid(NormalizeMachineGuid(" \n")), "");
}

TEST(MachineIdTest, FilesAreTriedInOrderAndUnusableOnesSkipped) {
  TemporaryFolder folder;
  const auto first = folder.path() / "first";
  const auto second = folder.path() / "second";
  WriteFile(second, "6F9619FF8B86D011B42D00C04FC964FF\n");
  const std::string expected = "6f9619ff8b86d011b42d00c04fc964ff";

  EXPECT_EQ(ReadMachineGuidFromFiles({first, second}), expected);  // first missing
  for (const std::string& unusable :
       {std::string(""), std::string(" \n"), std::string("uninitialized\n"),
        std::string(kMachineGuidMaxBytes + 1, 'a')}) {
    WriteFile(first, unusable);
    EXPECT_EQ(ReadMachineGuidFromFiles({first, second}), expected) << unusable.size();
  }
  WriteFile(first, std::string(kMachineGuidMaxBytes, 'A'));
  EXPECT_EQ(ReadMachineGuidFromFiles({first, second}), std::string(kMachineGuidMaxBytes, 'a'));
  EXPECT_EQ(ReadMachineGuidFromFiles({folder.path() / "none", folder.path() / "neither"}), "");
}

SystemFacts FixedFacts() {
  SystemFacts facts;
  facts.machineGuid = kGuid;
  facts.processor = {8664, 9, 16, 25, 0x1101};
  facts.localFolder = "/opt/app/UI";
  facts.drive = DriveSpace{"/", 1'048'575, (5ull << 30) + 1'048'575};
  facts.isDev = "1";
  facts.logLevel = "warn";
  facts.webhookConfigured = true;
  return facts;
}

TEST(SystemInfoTest, ObjectHasExactMembersTypesAndOrder) {
  EXPECT_EQ(SerializeSystemInfo(BuildSystemInfo(FixedFacts())),
            R"({"DriveSpace":{"AvaliableMB":"0","Drive":"/","TotalMB":"5120"},)"
            R"("NumberOfProcessors":16,"ProcessorArchitecture":9,"ProcessorLevel":25,)"
            R"("ProcessorRevision":4353,"ProcessorType":8664,"VLM_IS_DEV":"1",)"
            R"("VLM_LOG_LEVEL":"warn","isDebugBuild":0,"localFolder":"/opt/app/UI",)"
            R"("machineId":"2a877da80e460a1379a4ac2eaf3bc12d7c0d4b0bc545618def018c28cd178813",)"
            R"("machineIdRaw":"6f9619ff-8b86-d011-b42d-00c04fc964ff","webhookConfigured":true})");
  EXPECT_EQ(MegabytesText(1'048'576), "1");
  EXPECT_EQ(MegabytesText(UINT64_MAX), "17592186044415");
}

TEST(SystemInfoTest, MissingPartsAreLeftOutOrDefaulted) {
  SystemFacts facts = FixedFacts();
  facts.machineGuid.clear();
  facts.drive.reset();
  facts.isDev.reset();
  facts.logLevel.reset();
  facts.localFolder = "/opt/\xFF/UI";  // a path that is not UTF-8 must not cost the answer
  const json info = json::parse(SerializeSystemInfo(BuildSystemInfo(facts)));
  EXPECT_FALSE(info.contains("DriveSpace"));
  EXPECT_FALSE(info.contains("VLM_LOG_LEVEL"));
  EXPECT_EQ(info["VLM_IS_DEV"], "0");
  EXPECT_EQ(info["machineId"], "");
  EXPECT_EQ(info["machineIdRaw"], "");
  EXPECT_EQ(info["localFolder"], "/opt/\xEF\xBF\xBD/UI");
}

TEST(SystemInfoTest, EnvironmentValuesFollowTheSixtyFourUnitRule) {
  ScopedElevation notElevated(false);  // every process is elevated under Wine
  TemporaryFolder folder;
  struct Case {
    std::optional<std::string> value;
    std::optional<std::string> reported;
  };
  const std::string smile = "\xF0\x9F\x98\x80";  // two UTF-16 units
  std::string smiles31, smiles32;
  for (int i = 0; i < 31; ++i) smiles31 += smile;
  smiles32 = smiles31 + smile;
  const std::vector<Case> cases = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"warn", "warn"},
      {std::string(63, 'x'), std::string(63, 'x')},
      {std::string(64, 'x'), std::nullopt},
      {smiles31 + "x", smiles31 + "x"},  // 63 units in 125 bytes
      {smiles32, std::nullopt},          // 64 units
  };
  for (const Case& c : cases) {
    ScopedEnvironmentVariable dev("VLM_IS_DEV", c.value);
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", c.value);
    const json info = BuildSystemInfo(ProbeSystemFacts(folder.path()));
    EXPECT_EQ(info["VLM_IS_DEV"], c.reported.value_or("0"));
    if (c.reported) {
      EXPECT_EQ(info.value("VLM_LOG_LEVEL", "<absent>"), *c.reported);
    } else {
      EXPECT_FALSE(info.contains("VLM_LOG_LEVEL"));
    }
  }
}

// Elevated, the switch is ignored: the page must not turn on what the host keeps off.
TEST(SystemInfoTest, ElevatedTheDeveloperSwitchIsReportedOff) {
  ScopedElevation elevated(true);
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  TemporaryFolder folder;
  EXPECT_EQ(BuildSystemInfo(ProbeSystemFacts(folder.path()))["VLM_IS_DEV"], "0");
}

TEST(ProcessorInfoTest, X86SignaturesUseTheExtendedFieldsOnlyWhereDefined) {
  const auto revision = [](uint32_t eax) {
    ProcessorInfo info;
    SetX86LevelAndRevision(DecodeX86Signature(eax), info);
    return std::pair(info.level, info.revision);
  };
  EXPECT_EQ(revision(0x00A10F11), std::pair(25u, 0x1101u));  // family 0xF + 0x0A, model 0x11
  EXPECT_EQ(revision(0x000906EA), std::pair(6u, 0x9E0Au));   // family 6, model 0x9E, stepping 10
  EXPECT_EQ(revision(0x00010543), std::pair(5u, 0x0403u));   // family 5 ignores the extended model
}

TEST(ProcessorInfoTest, ArmNumbersComeFromTheFirstProcessorOfCpuinfo) {
  const std::string cpuinfo =
      "\nprocessor\t: 0\nBogoMIPS\t: 50.00\nCPU implementer\t: 0x41\nCPU architecture: 8\n"
      "CPU variant\t: 0x3\nCPU part\t: 0xd0c\nCPU revision\t: 1\n\n"
      "processor\t: 1\nCPU architecture: 9\nCPU variant\t: 0x4\nCPU revision\t: 2\n";
  ProcessorInfo info;
  SetArmLevelAndRevision(cpuinfo, info);
  EXPECT_EQ(info.level, 8u);
  EXPECT_EQ(info.revision, 0x0301u);
  EXPECT_EQ(CpuinfoValue(cpuinfo, "CPU part"), "0xd0c");
  EXPECT_EQ(CpuinfoValue(cpuinfo, "Hardware"), std::nullopt);

  SetArmLevelAndRevision("processor : 0\nCPU variant : junk\n", info);
  EXPECT_EQ(info.level, 0u);
  EXPECT_EQ(info.revision, 0u);
}

}  // namespace
