// doLaunchSetup on Windows: whole 32-bit exit codes, CreateProcessW's own error codes, and no
// handle of the host reaching the setup.

#include <gtest/gtest.h>
#include <windows.h>

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

}  // namespace
