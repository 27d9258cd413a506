// doLaunchSetup on Windows: whole 32-bit exit codes, CreateProcessW's own error codes, and no
// handle of the host reaching the setup.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/setup_web_view.h"
#include "base/utf8_path.h"
#include "install/launch_test_support.h"
#include "install/zip_builder.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

TEST_F(LaunchActionTest, WholeExitCodesReachThePage) {
  for (const uint32_t code : {1602u, 0xC0000005u}) {
    const std::string name = "exit-" + std::to_string(code) + ".exe";
    Place(name);
    EXPECT_EQ(LaunchResult(name), code);
  }
}

TEST_F(LaunchActionTest, StartFailuresAreCreateProcessErrorsAndLogged) {
  Logger::ResetForTesting();
  TemporaryFolder logs;
  {
    ScopedEnvironmentVariable logDir("VLM_LOG_DIR", PathToUtf8(logs.path()));
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }
  WriteFileBytes(dir / "garbage.exe", "this is no program\n");
  fs::create_directories(dir / "folder.exe");
  EXPECT_EQ(LaunchResult("garbage.exe"), 193u);  // ERROR_BAD_EXE_FORMAT
  ExpectHiddenThenShown();
  EXPECT_EQ(LaunchResult("folder.exe"), 5u);  // ERROR_ACCESS_DENIED
  const std::vector<std::string> lines = LauncherLogLines();
  Logger::ResetForTesting();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "DEBUG CreateProcessW starting");
  EXPECT_EQ(lines[1], "ERROR CreateProcessW failed error=193");
  EXPECT_EQ(lines[2].rfind("DEBUG CreateProcessW: ", 0), 0u) << lines[2];
  EXPECT_EQ(lines[4], "ERROR CreateProcessW failed error=5");
}

TEST_F(LaunchActionTest, HostHandlesDoNotReachTheSetup) {
  // An inheritable pipe: whatever the setup writes through its handle value shows up here.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
  Place("Setup.exe", CurrentExecutablePath().parent_path() / "inherit_probe.exe");
  WriteFileBytes(dir / "handle.txt", std::to_string(reinterpret_cast<uintptr_t>(writeEnd)));

  EXPECT_EQ(LaunchResult("Setup.exe"), 0u);
  DWORD available = 1;
  EXPECT_TRUE(PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 0u);
  CloseHandle(writeEnd);
  CloseHandle(readEnd);
}

#ifdef VLM_PROBE_PACKAGE
TEST_F(LaunchActionTest, InstallerPackageRunsThroughMsiexecWithItsArguments) {
  // Installed once before in this prefix, the package would only be configured again.
  const std::string uninstall =
      "msiexec /x {8E0B7C2A-4F1D-4B6E-9C3A-5D7F1E2B4A60} /qn";  // probe_package.wxs's product
  std::system(uninstall.c_str());
  // Where the package puts its file, told by an argument with a space: the file is there only
  // if the words reached msiexec as given.
  Place("Probe Package.msi", fs::path(VLM_PROBE_PACKAGE));
  const fs::path target = dir / "installed here";
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir)},
                    {"launcherName", "Probe Package.msi"},
                    {"arguments", {"/qn", "INSTALLDIR=" + PathToUtf8(target)}}})["result"],
            0);
  EXPECT_TRUE(fs::exists(target / "probe_package.wxs"));
  std::system(uninstall.c_str());
  // msiexec's own result reaches the page: a file that is no package.
  WriteFileBytes(dir / "damaged.msi", "this is no installer package\n");
  // Windows answers ERROR_INSTALL_PACKAGE_INVALID, Wine 8 ERROR_FUNCTION_FAILED.
  EXPECT_THAT(LaunchResult("damaged.msi"), ::testing::AnyOf(1620u, 1627u));
  ExpectHiddenThenShown();
}
#endif

}  // namespace
