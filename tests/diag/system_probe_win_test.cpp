// The Windows probes on this machine (under Wine: the test prefix), checked against what other
// system calls say.

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>
#include <cpuid.h>
#include <gtest/gtest.h>

#include <string>

#include "base/utf_convert.h"
#include "diag/processor_info.h"
#include "diag/system_info.h"
#include "diag/system_probe.h"
#include "support/test_environment.h"

namespace {

std::string Narrow(const wchar_t* text, size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

// The GUID as RegGetValueW reads it, lowered; empty when it cannot be read.
std::string RegistryMachineGuidLowered() {
  wchar_t data[256] = {};
  DWORD bytes = sizeof(data);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid",
                   RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, data, &bytes) != ERROR_SUCCESS) {
    return {};
  }
  std::string text = Narrow(data, wcslen(data));
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

// SHA-256 through the newer cryptography API, which shares no code with CryptoAPI's.
std::string BcryptSha256Hex(const std::string& bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32] = {};
  std::string hex;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
      BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
      BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), 0) == 0 &&
      BCryptFinishHash(hash, digest, sizeof(digest), 0) == 0) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned char b : digest) {
      hex += kDigits[b >> 4];
      hex += kDigits[b & 0xF];
    }
  }
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  return hex;
}

TEST(SystemProbeWinTest, MachineIdIsTheDigestOfTheRegistryGuid) {
  const std::string guid = RegistryMachineGuidLowered();
  ASSERT_EQ(guid.size(), 36u) << guid;  // every Windows (and every Wine prefix) has one
  TemporaryFolder folder;
  const nlohmann::json info = BuildSystemInfo(ProbeSystemFacts(folder.path()));
  EXPECT_EQ(info["machineIdRaw"], guid);
  EXPECT_EQ(info["machineId"], BcryptSha256Hex(guid));
}

TEST(SystemProbeWinTest, ProcessorMatchesTheProcessorItself) {
  const ProcessorInfo processor = ReadProcessorInfo();
  EXPECT_EQ(processor.architecture, kProcessorArchitectureAmd64);
  EXPECT_EQ(processor.type, kProcessorTypeAmd64);
  // The count is that of the process's processor group: all of them on machines with one group.
  EXPECT_GE(processor.count, 1u);
  EXPECT_LE(processor.count, GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
  if (GetActiveProcessorGroupCount() == 1) {
    EXPECT_EQ(processor.count, GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
  }
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  ASSERT_NE(__get_cpuid(1, &eax, &ebx, &ecx, &edx), 0);
  ProcessorInfo expected;
  SetX86LevelAndRevision(DecodeX86Signature(eax), expected);
  EXPECT_EQ(processor.level, expected.level);
  EXPECT_EQ(processor.revision, expected.revision);
}

TEST(SystemProbeWinTest, DriveIsTheRootOfTheWindowsFolder) {
  wchar_t windowsFolder[MAX_PATH] = {};
  ASSERT_GT(GetSystemWindowsDirectoryW(windowsFolder, MAX_PATH), 3u);
  const std::optional<DriveSpace> drive = ReadSystemDriveSpace();
  ASSERT_TRUE(drive.has_value());
  EXPECT_EQ(drive->drive, Narrow(windowsFolder, 3));
  EXPECT_EQ(drive->drive.substr(1), ":\\");
  EXPECT_GT(drive->totalBytes, 1ull << 20);
  EXPECT_LE(drive->availableBytes, drive->totalBytes);
}

}  // namespace
