// The admin-only folders of an elevated run. Wine keeps no access rules on files (it reports
// every file as its user's, with rules made from the Unix mode), enforces none and makes no
// junctions: that the folders are made admin-only and a standard user is kept out is Windows'
// part, reasoned; here the rules' check runs on descriptors built in memory, and a folder whose
// rules read back as the user's, as every one does under Wine, is taken back.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <sddl.h>

#include <fstream>

#include "base/folder_error.h"
#include "base/no_follow_win.h"
#include "base/protected_folder_win.h"
#include "base/protected_rules_win.h"
#include "base/tree_removal.h"
#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "log/log_folder.h"
#include "support/test_environment.h"
#include "support/unix_link_win.h"

namespace fs = std::filesystem;

namespace {

bool Accepted(const wchar_t* rules) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(rules, SDDL_REVISION_1,
                                                                   &descriptor, nullptr))
      << rules;
  const bool accepted = RulesAreProtected(descriptor);
  LocalFree(descriptor);
  return accepted;
}

bool ReadsProtected(const fs::path& folder) {
  std::error_code ec;
  const HANDLE handle = OpenRealFolder(folder, READ_CONTROL, ec);
  if (handle == INVALID_HANDLE_VALUE) return false;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const bool read = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS;
  const bool safe = read && RulesAreProtected(descriptor);
  if (read) LocalFree(descriptor);
  CloseHandle(handle);
  return safe;
}

TEST(ProtectedFolderTest, OnlyAnAdminOwnerAndAdminOnlyRulesAreAccepted) {
  // The rules the program gives its folders, and what the system may add without harm.
  EXPECT_TRUE(Accepted(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
  EXPECT_TRUE(Accepted(L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"));
  EXPECT_TRUE(Accepted(L"O:BAD:(D;OICI;FA;;;BU)(A;OICI;FA;;;BA)"));
  // A squatter's: owned by a user (who may always rewrite the rules), or rules that let others
  // add, change or delete, also only for what is made inside, or no rules at all.
  EXPECT_FALSE(Accepted(L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
  EXPECT_FALSE(Accepted(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)"));
  EXPECT_FALSE(Accepted(L"O:BAD:P(A;OICI;FA;;;BA)(A;CI;0x4;;;BU)"));
  EXPECT_FALSE(Accepted(L"O:BAD:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)"));
  EXPECT_FALSE(Accepted(L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x10000;;;WD)"));

  // No rule list at all lets everyone in.
  SECURITY_DESCRIPTOR open{};
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(admins);
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size));
  InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorOwner(&open, admins, FALSE);
  SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  EXPECT_FALSE(RulesAreProtected(&open));
}

// A root that a user made first, with the user's files in it: it is taken back (owner and
// rules) and emptied before anything is made in it, and the run goes on. Under Wine every
// folder reads back as its user's own, the taken-back root too, since Wine stores no rules: the
// run then goes on in a root of its own with a fresh name, as on Windows when the squatter
// holds the folder open. Wine cannot show the rules taking effect, nor the squatter's handles
// and new opens kept out (it enforces neither against Unix processes).
TEST(ProtectedFolderTest, ElevatedASquattedRootIsTakenBackAndNeverRefusesTheRun) {
  ScopedElevation elevated(true);
  const fs::path usual = UsualProtectedRoot();
  RemoveFolderTree(usual, [](const fs::path&, const std::string&) {});
  ASSERT_TRUE(fs::create_directory(usual));
  fs::create_directories(usual / "Logs" / "planted");
  std::ofstream(usual / "Logs" / "planted" / "version.dll") << "squatter";
  std::ofstream(usual / "readme.txt") << "squatter";
  fs::permissions(usual / "readme.txt", fs::perms::owner_write, fs::perm_options::remove);
  ForgetProtectedRootForTesting();

  const fs::path folder = NewWorkingFolderPath();
  std::error_code ec;
  CreateWorkingFolders(folder, folder / "a", ec);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_TRUE(fs::is_directory(folder / "a"));
  // Nothing of the squatter's is left to be used.
  EXPECT_FALSE(fs::exists(usual / "readme.txt"));
  EXPECT_FALSE(fs::exists(usual / "Logs" / "planted"));

  const fs::path root = ProtectedRoot();
  EXPECT_EQ(TempDirectory(), root / L"");
  EXPECT_EQ(folder.parent_path(), root);
  EXPECT_EQ(root.parent_path(), usual.parent_path());
  EXPECT_EQ(PathToUtf8(root.filename()).rfind("Velmorante", 0), 0u) << root;
  // The usual root is kept when its rules read back protected (Windows), and only then.
  EXPECT_EQ(root == usual, ReadsProtected(usual)) << root;
  EXPECT_EQ(DefaultLogFolder(), root / "Logs");
  EXPECT_EQ(OwnStateFolder("WebView2", ec), root / "WebView2");
  EXPECT_FALSE(ec) << ec.message();
  // Settled once: a second start in the same run lands in the same root.
  EXPECT_EQ(NewWorkingFolderPath().parent_path(), root);
  RemoveFolderTree(folder, [](const fs::path&, const std::string&) {});
}

// A Unix link stands in for the junction at each place.
TEST(ProtectedFolderTest, ALinkAtTheRootOrAnywhereBelowTheWorkingFolderIsRefused) {
  ScopedElevation notElevated(false);  // in the test's folder; the walk is the same elevated
  TemporaryFolder temp;
  const fs::path elsewhere = temp.path() / "elsewhere";
  fs::create_directory(elsewhere);
  std::error_code ec;
  UnixLink root(elsewhere, temp.path() / "root");
  ASSERT_TRUE(root.made());
  EnsureProtectedFolder(temp.path() / "root", ec);
  EXPECT_EQ(ec, FolderError::kReparsePoint);

  const fs::path folder = temp.path() / "{W}";
  CreateWorkingFolders(folder, folder / "a", ec);
  ASSERT_FALSE(ec) << ec.message();
  UnixLink middle(elsewhere, folder / "a" / "b");
  CreateWorkingFolders(folder, folder / "a" / "b" / "c" / "d", ec);
  EXPECT_EQ(ec, FolderError::kReparsePoint);
  UnixLink top(elsewhere, temp.path() / "{LINKED}");
  CreateWorkingFolders(temp.path() / "{LINKED}", temp.path() / "{LINKED}" / "x", ec);
  EXPECT_EQ(ec, FolderError::kReparsePoint);
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

}  // namespace
