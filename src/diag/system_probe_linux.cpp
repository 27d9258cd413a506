// Linux sources for the machine snapshot:
//  - machine GUID: /etc/machine-id, else /var/lib/dbus/machine-id;
//  - processor: CPUID on x86-64, /proc/cpuinfo on ARM64, online CPUs from sysconf;
//  - system drive: the root volume "/" through statvfs.

#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include "diag/machine_id_file.h"
#include "diag/system_probe.h"

std::string ReadMachineGuid() {
  return ReadMachineGuidFromFiles({"/etc/machine-id", "/var/lib/dbus/machine-id"});
}

ProcessorInfo ReadProcessorInfo() {
  ProcessorInfo info;
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  info.count = online > 0 ? static_cast<uint32_t>(online) : 1;
#if defined(__x86_64__)
  info.architecture = kProcessorArchitectureAmd64;
  info.type = kProcessorTypeAmd64;
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
    SetX86LevelAndRevision(DecodeX86Signature(eax), info);
  }
#elif defined(__aarch64__)
  info.architecture = kProcessorArchitectureArm64;
  std::ifstream in("/proc/cpuinfo");
  const std::string cpuinfo{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  SetArmLevelAndRevision(cpuinfo, info);
#else
  info.architecture = kProcessorArchitectureUnknown;
#endif
  return info;
}

std::optional<DriveSpace> ReadSystemDriveSpace() {
  struct statvfs volume {};
  if (statvfs("/", &volume) != 0) return std::nullopt;
  DriveSpace space;
  space.drive = "/";
  space.availableBytes = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
  space.totalBytes = static_cast<uint64_t>(volume.f_blocks) * volume.f_frsize;
  return space;
}
