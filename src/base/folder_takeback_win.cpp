#include "base/folder_takeback_win.h"

#include <windows.h>
//
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "base/folder_error.h"
#include "base/no_follow_win.h"
#include "base/tree_removal_win.h"

namespace fs = std::filesystem;

namespace {

// The protected rules without the owner, which is set apart (an owner in the descriptor would
// be taken from it only with the rights enabled below).
constexpr wchar_t kProtectedDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

constexpr DWORD kHeldAccess = READ_CONTROL | WRITE_DAC | WRITE_OWNER | DELETE |
                              FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                              SYNCHRONIZE;

// Enables, for its lifetime, the rights an administrator's token holds but keeps off: taking
// ownership of what someone else owns, and opening whatever their rules say (backup and
// restore, through FILE_FLAG_BACKUP_SEMANTICS). Restored as they were at the end.
class ScopedAdministratorRights {
 public:
  ScopedAdministratorRights() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_))
      return;
    Privileges wanted{};
    for (const wchar_t* name : {SE_TAKE_OWNERSHIP_NAME, SE_BACKUP_NAME, SE_RESTORE_NAME}) {
      LUID_AND_ATTRIBUTES& entry = wanted.entries[wanted.count];
      if (!LookupPrivilegeValueW(nullptr, name, &entry.Luid)) continue;
      entry.Attributes = SE_PRIVILEGE_ENABLED;
      ++wanted.count;
    }
    DWORD size = 0;
    adjusted_ = AdjustTokenPrivileges(token_, FALSE, wanted.AsToken(), sizeof(previous_),
                                      previous_.AsToken(), &size) != FALSE;
  }
  ~ScopedAdministratorRights() {
    if (adjusted_) AdjustTokenPrivileges(token_, FALSE, previous_.AsToken(), 0, nullptr, nullptr);
    if (token_ != nullptr) CloseHandle(token_);
  }
  ScopedAdministratorRights(const ScopedAdministratorRights&) = delete;
  ScopedAdministratorRights& operator=(const ScopedAdministratorRights&) = delete;

 private:
  // TOKEN_PRIVILEGES with room for the three.
  struct Privileges {
    DWORD count;
    LUID_AND_ATTRIBUTES entries[3];
    TOKEN_PRIVILEGES* AsToken() { return reinterpret_cast<TOKEN_PRIVILEGES*>(this); }
  };
  HANDLE token_ = nullptr;
  Privileges previous_{};
  bool adjusted_ = false;
};

// Administrators as owner and the protected rules, set through the handle.
DWORD SetProtectedRules(HANDLE folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedDacl, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return GetLastError();
  }
  PACL rules = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  GetSecurityDescriptorDacl(descriptor, &present, &rules, &defaulted);
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  DWORD error = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size)
                    ? ERROR_SUCCESS
                    : GetLastError();
  if (error == ERROR_SUCCESS) {
    error = SetSecurityInfo(folder, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                PROTECTED_DACL_SECURITY_INFORMATION,
                            admins, nullptr, rules, nullptr);
  }
  LocalFree(descriptor);
  return error;
}

}  // namespace

void TakeBackFolder(const fs::path& folder, std::error_code& ec) {
  ec.clear();
  ScopedAdministratorRights rights;
  // Read sharing only: while this handle is open nobody can add to the folder or delete it, and
  // the open fails while anyone else holds it to do so.
  const HANDLE handle = OpenEntry(folder, kHeldAccess, FILE_SHARE_READ);
  if (handle == INVALID_HANDLE_VALUE) {
    ec = Win32Error(GetLastError());
    return;
  }
  DWORD error = 0;
  if (HandleIsReparsePoint(handle) || !IsFolder(handle)) {
    // The link (or file) itself, never what it names: the caller makes the folder anew.
    if (!DeleteByHandle(handle, error)) ec = Win32Error(error);
  } else if (IsReparsePoint(handle, folder)) {
    // The name shows a link the handle reaches through (Wine): deleting through it would
    // delete what it names.
    ec = FolderError::kReparsePoint;
  } else if ((error = SetProtectedRules(handle)) != ERROR_SUCCESS) {
    ec = Win32Error(error);
  } else {
    // Only now, with nobody else able to add anything, is it emptied.
    bool emptied = true;
    RemoveFolderContents(handle, folder,
                         [&emptied](const fs::path&, const std::string&) { emptied = false; });
    if (!emptied) ec = FolderError::kNotProtected;
  }
  CloseHandle(handle);
}
