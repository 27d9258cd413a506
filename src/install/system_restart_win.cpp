#include <windows.h>

#include <string>

#include "install/system_restart.h"
#include "install/win32_error_text.h"

namespace {

// Owns a handle for the length of one request.
struct HeldHandle {
  HANDLE handle = nullptr;
  ~HeldHandle() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

class ExitWindowsRestart : public SystemRestart {
 public:
  uint32_t Request(std::string& detail) override {
    // The shutdown privilege is held by administrators and users alike but starts disabled.
    HeldHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &token.handle)) {
      return Failed("OpenProcessToken", detail);
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
      return Failed("LookupPrivilegeValueW", detail);
    }
    // Succeeds also when the privilege was not granted: its last error says so.
    if (!AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr) ||
        GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
      return Failed("AdjustTokenPrivileges", detail);
    }
    if (!ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION |
                                       SHTDN_REASON_MINOR_INSTALLATION |
                                       SHTDN_REASON_FLAG_PLANNED)) {
      return Failed("ExitWindowsEx", detail);
    }
    return 0;
  }

 private:
  static uint32_t Failed(const char* call, std::string& detail) {
    const DWORD error = GetLastError();
    detail = std::string(call) + ": " + Win32ErrorText(error);
    // ERROR_NOT_ALL_ASSIGNED is a success code of its own; as a refusal it reads as 1314.
    if (error == ERROR_NOT_ALL_ASSIGNED) return ERROR_PRIVILEGE_NOT_HELD;
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
};

}  // namespace

std::shared_ptr<SystemRestart> MakeSystemRestart() {
  return std::make_shared<ExitWindowsRestart>();
}
