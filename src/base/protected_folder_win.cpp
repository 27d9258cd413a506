#include "base/protected_folder_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <mutex>

#include "base/elevation.h"
#include "base/folder_error.h"
#include "base/folder_takeback_win.h"
#include "base/no_follow_win.h"
#include "base/protected_rules_win.h"
#include "base/utf8_path.h"
#include "base/working_folder.h"

namespace fs = std::filesystem;

namespace {

// Owner Administrators; protected (nothing inherited); SYSTEM and Administrators full control,
// inherited by files and folders inside.
constexpr wchar_t kProtectedRules[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// The same without the owner, for a token that may not name Administrators as owner (a service
// running as SYSTEM): its default owner then is SYSTEM or Administrators anyway.
constexpr wchar_t kProtectedRulesDefaultOwner[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Rights that let their holder change what is in a folder or who may: write or add a file, add
// a folder, delete it or its entries, change its attributes or its rules.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL |
                                        MAXIMUM_ALLOWED | ACCESS_SYSTEM_SECURITY;

bool IsTrusted(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// CreateDirectoryW with the protected rules; the Win32 error, or 0.
DWORD CreateWithRules(const fs::path& folder) {
  DWORD error = 0;
  for (const wchar_t* rules : {kProtectedRules, kProtectedRulesDefaultOwner}) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rules, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      return GetLastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    error = CreateDirectoryW(folder.c_str(), &attributes) ? 0 : GetLastError();
    LocalFree(descriptor);
    if (error != ERROR_INVALID_OWNER) break;
  }
  return error;
}

bool ReadRulesAreProtected(HANDLE folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool safe = RulesAreProtected(descriptor);
  LocalFree(descriptor);
  return safe;
}

// The root this run settled on (ProtectedRoot).
std::mutex g_rootLock;
fs::path g_root;

}  // namespace

bool RulesAreProtected(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  PACL rules = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &rules, &defaulted)) {
    return false;
  }
  // No rules at all (a null DACL) let everyone do everything.
  if (owner == nullptr || !IsTrusted(owner) || !present || rules == nullptr) return false;
  for (DWORD i = 0; i < rules->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(rules, i, &ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // a denial gives nobody anything
    // Conditional, object and callback entries are not read here, so they are not trusted.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    // Inherit-only entries count too: they would hand the rights to what is made inside.
    if (!IsTrusted(&allowed->SidStart) && (allowed->Mask & kChangingRights) != 0) return false;
  }
  return true;
}

fs::path UsualProtectedRoot() {
  // From the system, not %SystemRoot%: the environment is the user's to set.
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  const fs::path base = (n == 0 || n > MAX_PATH) ? fs::path(L"C:\\Windows") : fs::path(windows);
  return base / L"Temp" / L"Velmorante";
}

fs::path ProtectedRoot(std::error_code& ec) {
  std::lock_guard<std::mutex> lock(g_rootLock);
  ec.clear();
  if (!g_root.empty()) return g_root;
  const fs::path usual = UsualProtectedRoot();
  EnsureProtectedFolder(usual, ec);
  if (!ec) return g_root = usual;
  // Still someone else's (held open by another process, say): a root of this run's own.
  const std::error_code usualError = ec;
  const std::string guid = NewGuidFolderName();
  if (guid != kNullGuidFolderName) {
    const fs::path own = usual.parent_path() / (L"Velmorante-" + PathFromUtf8(guid).wstring());
    CreateProtectedFolder(own, ec);
    if (!ec) return g_root = own;
  }
  ec = usualError;
  return {};
}

fs::path ProtectedRoot() {
  std::error_code ec;
  const fs::path root = ProtectedRoot(ec);
  return root.empty() ? UsualProtectedRoot() : root;
}

void ForgetProtectedRootForTesting() {
  std::lock_guard<std::mutex> lock(g_rootLock);
  g_root.clear();
}

void EnsureProtectedFolder(const fs::path& folder, std::error_code& ec) {
  for (bool takenBack = false;; takenBack = true) {
    ec.clear();
    const DWORD made = CreateWithRules(folder);
    if (made != 0 && made != ERROR_ALREADY_EXISTS) {
      ec = Win32Error(made);
      return;
    }
    // Made now or found: either way it is checked through a handle of its own. A folder found
    // there may have been made by anyone who can create folders beside it.
    const HANDLE handle = OpenRealFolder(folder, READ_CONTROL | FILE_READ_ATTRIBUTES, ec);
    if (handle != INVALID_HANDLE_VALUE) {
      if (!ReadRulesAreProtected(handle)) ec = FolderError::kNotProtected;
      CloseHandle(handle);
    }
    const bool someoneElses = ec == FolderError::kNotProtected ||
                              ec == FolderError::kReparsePoint || ec == std::errc::not_a_directory;
    if (!someoneElses || takenBack) return;
    // Refused for good, it would stop every elevated run until an administrator stepped in.
    TakeBackFolder(folder, ec);
    if (ec) return;
  }
}

void CreateProtectedFolder(const fs::path& folder, std::error_code& ec) {
  ec.clear();
  const DWORD made = CreateWithRules(folder);
  if (made == ERROR_ALREADY_EXISTS) {
    ec = std::make_error_code(std::errc::file_exists);
  } else if (made != 0) {
    ec = Win32Error(made);
  }
}

fs::path OwnStateFolder(const char* name, std::error_code& ec) {
  ec.clear();
  if (ProcessIsElevated()) {
    const fs::path root = ProtectedRoot(ec);
    if (ec) return {};
    const fs::path folder = root / name;
    CreateProtectedFolder(folder, ec);
    if (ec == std::errc::file_exists) {
      const HANDLE handle = OpenRealFolder(folder, FILE_READ_ATTRIBUTES, ec);
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    return ec ? fs::path() : folder;
  }
  fs::path folder = TempDirectory() / L"Velmorante" / name;
  fs::create_directories(folder, ec);
  return ec ? fs::path() : folder;
}
