#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "install/app_launcher.h"
#include "install/launch_test_support.h"
#include "install/setup_signature.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

// No signed program can be made here (that needs a code-signing certificate the prefix trusts),
// so only refusals are shown: WinVerifyTrust's own code comes back, never success. Wine fails
// an unsigned file through the handle as by its name, so it cannot show which of the two was
// read; that the name cannot change while the handle is held, it shows.
TEST(SetupSignatureWin, UnsignedAndMissingProgramsAreRefusedWithTheTrustCode) {
  uint32_t error = 0;
  const std::unique_ptr<HeldProgram> held = HeldProgram::Open(LaunchProbePath(), error);
  ASSERT_TRUE(held);
  std::string detail;
  EXPECT_EQ(CheckSetupSignature(*held, "Example Vendor", detail), kProgramNotSigned);
  EXPECT_EQ(detail, "the program's signature is not trusted");

  EXPECT_FALSE(HeldProgram::Open(LaunchProbePath().parent_path() / "missing.exe", error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// From its check to its start the setup is held: nobody writes, renames or deletes it, yet
// CreateProcessW starts it; once it has started it is let go.
TEST(SetupSignatureWin, HeldProgramStaysPutAndStillStarts) {
  TemporaryFolder temp;
  const fs::path program = temp.path() / "Setup.exe";
  fs::copy_file(LaunchProbePath(), program);
  uint32_t error = 0;
  std::unique_ptr<HeldProgram> held = HeldProgram::Open(program, error);
  ASSERT_TRUE(held);
  EXPECT_EQ(CreateFileW(program.c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileExW(program.c_str(), (temp.path() / "other.exe").c_str(), 0));
  EXPECT_FALSE(DeleteFileW(program.c_str()));

  EXPECT_EQ(AppLauncher().Run(program, std::move(held)), 0);
  EXPECT_TRUE(DeleteFileW(program.c_str()));
}

}  // namespace
