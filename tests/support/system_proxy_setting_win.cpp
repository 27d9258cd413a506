#include <windows.h>

#include <cstdint>
#include <vector>

#include "support/system_proxy_setting.h"

namespace {

constexpr wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kValue[] = L"DefaultConnectionSettings";
// The settings blob: a version mark, a counter, flags, then the proxy, the bypass list and the
// configuration script's URL, each as a length and that many bytes.
constexpr uint32_t kSettingsVersion = 0x46;
constexpr uint32_t kDirect = 0x1;
constexpr uint32_t kNamedProxy = 0x2;
constexpr uint32_t kScript = 0x4;

void Append32(std::string& blob, uint32_t value) {
  blob.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

void AppendText(std::string& blob, const std::string& text) {
  Append32(blob, static_cast<uint32_t>(text.size()));
  blob += text;
}

bool Write(const std::string& blob) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS set =
      RegSetValueExW(key, kValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                     static_cast<DWORD>(blob.size()));
  RegCloseKey(key);
  return set == ERROR_SUCCESS;
}

}  // namespace

ScopedSystemProxy::ScopedSystemProxy(const std::string& hostAndPort, const std::string& bypass,
                                     const std::string& scriptUrl) {
  // One setting at a time in the whole prefix: a test that started while another's was in place
  // would take that one for the previous setting and put it back.
  lock_ = CreateMutexW(nullptr, FALSE, L"Local\\quillfetch-tests-system-proxy");
  if (lock_ != nullptr) WaitForSingleObject(lock_, INFINITE);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    DWORD size = 0;
    if (RegQueryValueExW(key, kValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      std::string blob(size, '\0');
      if (RegQueryValueExW(key, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(blob.data()),
                           &size) == ERROR_SUCCESS) {
        previous_ = blob.substr(0, size);
      }
    }
    RegCloseKey(key);
  }
  std::string blob;
  Append32(blob, kSettingsVersion);
  Append32(blob, 1);
  Append32(blob,
           kDirect | (hostAndPort.empty() ? 0 : kNamedProxy) | (scriptUrl.empty() ? 0 : kScript));
  AppendText(blob, hostAndPort);
  AppendText(blob, bypass);
  AppendText(blob, scriptUrl);
  Write(blob);
}

ScopedSystemProxy::~ScopedSystemProxy() {
  if (previous_) {
    Write(*previous_);
  } else if (HKEY key = nullptr; RegOpenKeyExW(HKEY_CURRENT_USER, kConnections, 0, KEY_SET_VALUE,
                                               &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, kValue);
    RegCloseKey(key);
  }
  if (lock_ != nullptr) {
    ReleaseMutex(lock_);
    CloseHandle(lock_);
  }
}
