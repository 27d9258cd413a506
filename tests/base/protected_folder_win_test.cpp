// The admin-only folders of an elevated run. Wine keeps no access rules on files (it reports
// every file as its user's, with rules made from the Unix mode), enforces none and makes no
// junctions: that the folders are made admin-only and a standard user is kept out is Windows'
// part, reasoned; here the rules' check runs on descriptors built in memory, and a folder whose
// rules read back as the user's, as every one does under Wine, is refused.

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include "base/folder_error.h"
#include "base/protected_folder_win.h"
#include "base/protected_rules_win.h"
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

TEST(ProtectedFolderTest, ElevatedASquattedRootIsRefusedAndNothingIsUsedFromIt) {
  ScopedElevation elevated(true);
  const fs::path root = ProtectedRoot();
  EXPECT_EQ(TempDirectory(), root / L"");
  const fs::path folder = NewWorkingFolderPath();
  EXPECT_EQ(folder.parent_path(), root);
  // Under Wine the root reads back as its user's own, with full control for that user: exactly
  // as a root that a user made first would on Windows.
  std::error_code ec;
  CreateWorkingFolders(folder, folder / "a", ec);
  EXPECT_EQ(ec, FolderError::kNotProtected);
  EXPECT_EQ(ec, std::errc::permission_denied);  // access denied for the page
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(DefaultLogFolder().empty());  // logging stays off rather than go there
  OwnStateFolder("WebView2", ec);
  EXPECT_EQ(ec, FolderError::kNotProtected);
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
