// The Linux probes on this machine; the Windows ones have their own test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "diag/processor_info.h"
#include "diag/system_probe.h"

namespace {

// The real probes on this machine, checked against what the kernel says in other words.
TEST(SystemProbeTest, ThisMachineIsDescribedPlausibly) {
  const std::string guid = ReadMachineGuid();
  if (std::filesystem::exists("/etc/machine-id") ||
      std::filesystem::exists("/var/lib/dbus/machine-id")) {
    EXPECT_EQ(guid.size(), 32u) << guid;
    EXPECT_EQ(guid.find_first_not_of("0123456789abcdef"), std::string::npos) << guid;
  }

  const ProcessorInfo processor = ReadProcessorInfo();
  std::ifstream in("/proc/cpuinfo");
  std::stringstream text;
  text << in.rdbuf();
  const std::string cpuinfo = text.str();
  size_t listed = 0;
  for (size_t at = 0; (at = cpuinfo.find("\nprocessor", at)) != std::string::npos; ++at) ++listed;
  if (cpuinfo.rfind("processor", 0) == 0) ++listed;
  EXPECT_EQ(processor.count, listed);
  if (CpuinfoValue(cpuinfo, "cpu family")) {  // an x86 kernel
    EXPECT_EQ(processor.architecture, 9u);
    EXPECT_EQ(processor.type, 8664u);
    EXPECT_EQ(std::to_string(processor.level), CpuinfoValue(cpuinfo, "cpu family"));
    EXPECT_EQ(processor.revision, std::stoul(*CpuinfoValue(cpuinfo, "model")) * 256 +
                                      std::stoul(*CpuinfoValue(cpuinfo, "stepping")));
  }

  const std::optional<DriveSpace> drive = ReadSystemDriveSpace();
  ASSERT_TRUE(drive.has_value());
  EXPECT_EQ(drive->drive, "/");
  EXPECT_GT(drive->totalBytes, 1ull << 20);
  EXPECT_LE(drive->availableBytes, drive->totalBytes);
}

}  // namespace
