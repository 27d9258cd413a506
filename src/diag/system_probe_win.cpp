// Windows sources for the machine snapshot:
//  - machine GUID: HKLM\SOFTWARE\Microsoft\Cryptography\MachineGuid, in the 64-bit view;
//  - processor: GetSystemInfo;
//  - system drive: the root of the Windows folder through GetDiskFreeSpaceExW.

#include <windows.h>

#include "base/utf_convert.h"
#include "diag/machine_id.h"
#include "diag/machine_id_file.h"
#include "diag/system_probe.h"

namespace {

// The registry's string is not guaranteed to end with a terminator, nor to end only once: the
// text is everything up to the first one within the bytes the query returned.
std::u16string_view RegistryText(const wchar_t* data, DWORD bytes) {
  const std::u16string_view all(reinterpret_cast<const char16_t*>(data), bytes / sizeof(wchar_t));
  return all.substr(0, all.find(u'\0'));
}

// "X:\" when `folder` starts with a drive root; empty otherwise (a UNC path, say).
std::wstring DriveRootOf(const wchar_t* folder, UINT length) {
  if (length < 3) return {};
  const wchar_t letter = folder[0];
  const bool isLetter = (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
  if (!isLetter || folder[1] != L':' || folder[2] != L'\\') return {};
  return std::wstring(folder, 3);
}

}  // namespace

std::string ReadMachineGuid() {
  HKEY key = nullptr;
  // The 64-bit view: a 32-bit build would otherwise read the redirected key, which has no GUID.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                    KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return {};
  }
  // Room for kMachineGuidMaxBytes characters and a terminator; a longer value fails to fit and
  // counts as unreadable, as on every platform.
  wchar_t data[kMachineGuidMaxBytes + 1] = {};
  DWORD bytes = sizeof(data);
  DWORD type = REG_NONE;
  const LSTATUS status =
      RegQueryValueExW(key, L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return {};
  const std::string text = Utf16ToUtf8(RegistryText(data, bytes));
  if (text.size() > kMachineGuidMaxBytes) return {};
  return NormalizeMachineGuid(text);
}

ProcessorInfo ReadProcessorInfo() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  ProcessorInfo info;
  info.type = system.dwProcessorType;
  info.architecture = system.wProcessorArchitecture;
  info.count = system.dwNumberOfProcessors;
  info.level = system.wProcessorLevel;
  info.revision = system.wProcessorRevision;
  return info;
}

std::optional<DriveSpace> ReadSystemDriveSpace() {
  std::wstring drive = L"C:\\";
  wchar_t windowsFolder[MAX_PATH] = {};
  // A result of MAX_PATH or more is the size the folder would need: the buffer holds nothing.
  const UINT length = GetWindowsDirectoryW(windowsFolder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    std::wstring root = DriveRootOf(windowsFolder, length);
    if (!root.empty()) drive = std::move(root);
  }
  ULARGE_INTEGER available{};
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExW(drive.c_str(), &available, &total, nullptr)) return std::nullopt;
  DriveSpace space;
  space.drive = Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(drive.data()), drive.size()));
  space.availableBytes = available.QuadPart;
  space.totalBytes = total.QuadPart;
  return space;
}
