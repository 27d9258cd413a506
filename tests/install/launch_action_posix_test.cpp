// doLaunchSetup on Linux: shell scripts, signals, errno codes and inherited descriptors, which
// have no counterpart on Windows (launch_action_win_test.cpp holds the Windows side).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install/launch_test_support.h"
#include "install/zip_builder.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

class LaunchActionPosixTest : public LaunchActionTest {
 protected:
  fs::path Program(const std::string& name, const std::string& body,
                   fs::perms perms = fs::perms(0755)) {
    const fs::path path = dir / name;
    fs::create_directories(path.parent_path());
    WriteFileBytes(path, body);
    fs::permissions(path, perms);
    return path;
  }
};

TEST_F(LaunchActionPosixTest, ExitCodeOfTheSetupIsTheResult) {
  fs::copy_file("/bin/true", dir / "Setup.exe");
  EXPECT_EQ(Launch({{"unzipdir", dir.string()}, {"callbackId", "t"}}),
            nlohmann::json({{"cbid", "t"},
                            {"done", 0},
                            {"jsp", ""},
                            {"message", ""},
                            {"name", ""},
                            {"result", 0},
                            {"todo", 0}}));
  ExpectHiddenThenShown();
  fs::copy_file("/bin/false", dir / "false");
  EXPECT_EQ(LaunchResult("false"), 1u);
  for (int code : {0, 7, 255}) {
    Program("exit" + std::to_string(code), "#!/bin/sh\nexit " + std::to_string(code) + "\n");
    EXPECT_EQ(LaunchResult("exit" + std::to_string(code)), static_cast<uint32_t>(code));
  }
  // An absolute launcherName replaces the folder.
  EXPECT_EQ(
      Launch({{"unzipdir", "/nonexistent"}, {"launcherName", (dir / "exit7").string()}})["result"],
      7);
  ExpectHiddenThenShown();
}

TEST_F(LaunchActionPosixTest, SetupEndedBySignalReportsAFailureStatus) {
  Program("killed", "#!/bin/sh\nkill -KILL $$\n");
  Program("crashed", "#!/bin/sh\nkill -SEGV $$\n");
  EXPECT_EQ(LaunchResult("killed"), 0xC0000009u);
  EXPECT_EQ(LaunchResult("crashed"), 0xC000000Bu);
}

TEST_F(LaunchActionPosixTest, StartFailuresBecomeWin32Codes) {
  Program("plain.txt", "#!/bin/sh\nexit 0\n", fs::perms(0644));
  Program("garbage", "this is no program\n");
  fs::create_directories(dir / "folder.exe");
  fs::create_symlink("loop", dir / "loop");

  EXPECT_EQ(LaunchResult("Setup.exe"), 404u);  // the default name, missing here
  ExpectHiddenThenShown();
  EXPECT_EQ(LaunchResult("plain.txt"), 5u);  // no execute permission
  EXPECT_EQ(LaunchResult("garbage"), 193u);  // not a program
  EXPECT_EQ(LaunchResult("folder.exe"), 5u);
  EXPECT_EQ(LaunchResult("loop"), 1921u);                // its status cannot be read
  EXPECT_EQ(LaunchResult(std::string(300, 'n')), 206u);  // a name too long to examine
  ExpectHiddenThenShown();
}

TEST_F(LaunchActionPosixTest, SetupRunsAloneInItsOwnFolderWithNothingInherited) {
  const fs::path folder = dir / "my setup" / "with spaces";
  const fs::path program =
      Program("my setup/with spaces/Setup.exe",
              "#!/bin/sh\n"
              "printf '%s|%s|%s' \"$#\" \"$0\" \"$(pwd)\" > seen.txt\n"
              "for fd in 57 58 59; do [ -e /proc/$$/fd/$fd ] && echo $fd; done > leaked.txt\n"
              "exit 3\n");
  // Descriptors the host might hold open without close-on-exec: a file and a socket pair.
  const int file = open(program.c_str(), O_RDONLY);
  int pair[2];
  ASSERT_GE(file, 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ASSERT_EQ(dup2(file, 57), 57);
  ASSERT_EQ(dup2(pair[0], 58), 58);
  ASSERT_EQ(dup2(pair[1], 59), 59);

  EXPECT_EQ(Launch({{"unzipdir", folder.string()}})["result"], 3);

  for (int fd : {file, pair[0], pair[1], 57, 58, 59}) close(fd);
  EXPECT_EQ(ReadFileBytes(folder / "seen.txt"), "0|" + program.string() + "|" + folder.string());
  EXPECT_EQ(ReadFileBytes(folder / "leaked.txt"), "");
}

TEST_F(LaunchActionPosixTest, WritesTheLaunchLines) {
  Logger::ResetForTesting();
  TemporaryFolder logs;
  {
    ScopedEnvironmentVariable logDir("VLM_LOG_DIR", logs.path().string());
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }
  Program("exit7", "#!/bin/sh\nexit 7\n");
  Program("plain.txt", "", fs::perms(0644));
  LaunchResult("exit7");
  LaunchResult("plain.txt");
  LaunchResult("absent");
  std::vector<std::string> lines;
  for (const LogEntry& e : Logger::GetRecentEntries(1000, true)) {
    if (e.category == "Engine.AppLauncher" && e.message.find("errno") == std::string::npos) {
      lines.push_back(e.level + " " + e.message);
    }
  }
  Logger::ResetForTesting();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "DEBUG CreateProcessW starting",
                       "INFO Process exited code=7",
                       "DEBUG CreateProcessW starting",
                       "ERROR CreateProcessW failed error=5",
                       "ERROR Executable not found: " + (dir / "absent").string(),
                   }));
}

TEST_F(LaunchActionPosixTest, InstallerPackageIsRefusedWithNotSupported) {
  // Marked executable, so that only the refusal keeps it from running.
  Program("product.MSI", "#!/bin/sh\ntouch ran\n");
  EXPECT_EQ(Launch({{"unzipdir", dir.string()},
                    {"launcherName", "product.MSI"},
                    {"arguments", {"/qn"}}})["result"],
            50);
  EXPECT_FALSE(fs::exists(dir / "ran"));
  ExpectHiddenThenShown();
}

// A link inside the product's folder may not lead out of it: what would start is checked with
// links followed, so a product that a link swapped for another program starts nothing.
TEST_F(LaunchActionPosixTest, ProductProgramBehindALinkThatLeavesTheFolderIsRefused) {
  Place("outside.exe");
  Place("Demo/bin/inside.exe");
  fs::create_symlink(dir / "outside.exe", dir / "Demo/bin/demo.exe");
  fs::create_directory_symlink(dir / "Demo/bin", dir / "Demo/tools");
  for (const auto& [program, result] :
       {std::pair{"bin/demo.exe", 161}, std::pair{"tools/inside.exe", 0}}) {
    h.Post(nlohmann::json{
        {"action", "doFindProduct"}, {"folder", (dir / "Demo").string()}, {"program", program}}
               .dump());
    EXPECT_EQ(h.Completions().back().payload["result"], result) << program;
  }
}

}  // namespace
