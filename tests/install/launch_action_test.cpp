// doLaunchSetup with a real child program (launch_probe) on either platform: the exit code,
// the missing program, and what the setup gets from the host.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "install/launch_arguments.h"
#include "install/launch_test_support.h"
#include "install/zip_builder.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

TEST_F(LaunchActionTest, ExitCodeOfTheProbeIsTheResult) {
  Place("Setup.exe");
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir)}, {"callbackId", "t"}}),
            nlohmann::json({{"cbid", "t"},
                            {"done", 0},
                            {"jsp", ""},
                            {"message", ""},
                            {"name", ""},
                            {"result", 0},
                            {"todo", 0}}));
  ExpectHiddenThenShown();
  // The user was in the setup's windows: its end asks for them.
  const std::vector<std::string> events = h.window.Events();
  EXPECT_EQ(events.back(), "attention");
  for (uint32_t code : {1u, 7u, 255u}) {
    const std::string name = "exit-" + std::to_string(code) + ".exe";
    Place(name);
    EXPECT_EQ(LaunchResult(name), code);
  }
  // An absolute launcherName replaces the folder.
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir / "absent folder")},
                    {"launcherName", PathToUtf8(dir / "exit-7.exe")}})["result"],
            7);
}

TEST_F(LaunchActionTest, RelativeNameThatLeavesTheFolderRunsNothing) {
  // A program beside the folder that a page or a config could reach with "..": refused with
  // ERROR_BAD_PATHNAME instead of started (it would answer 7).
  Place("exit-7.exe");
  const fs::path folder = dir / "product";
  Place("product/readme.txt");
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(folder)}, {"launcherName", "../exit-7.exe"}})["result"],
            161);
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(folder)},
                    {"launcherName", "bin/../../exit-7.exe"}})["result"],
            161);
  ExpectHiddenThenShown();
}

TEST_F(LaunchActionTest, MissingProgramIs404) {
  EXPECT_EQ(LaunchResult(""), 404u);  // the default, Setup.exe
  ExpectHiddenThenShown();
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir / "no such folder")}})["result"], 404);
}

TEST_F(LaunchActionTest, SetupGetsOnlyItsQuotedPathAndRunsInItsFolder) {
  // Unquoted, Windows would try "...\my.exe" first, the classic trap of paths with spaces. The
  // test's own working folder is elsewhere; the setup must not start there.
  const fs::path folder = dir / "my setup" / "with spaces";
  const fs::path program = Place("my setup/with spaces/exit-3.exe");
  Place("my.exe");
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(folder)}, {"launcherName", "exit-3.exe"}})["result"],
            3);
  EXPECT_EQ(ReadFileBytes(folder / "seen.txt"),
            "0|" + PathToUtf8(fs::path(program).make_preferred()) + "|" +
                PathToUtf8(fs::path(folder).make_preferred()));

  // A folder outside the ANSI code page: the C runtime's narrow argv cannot show it, the
  // working folder can.
  const std::string wideName = "donn\u00e9es \u96ea";
  const fs::path wide = dir / PathFromUtf8(wideName);
  Place(wideName + "/Setup.exe");
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(wide)}})["result"], 0);
  const std::string seen = ReadFileBytes(wide / "seen.txt");
  EXPECT_EQ(seen.substr(seen.rfind('|') + 1), PathToUtf8(fs::path(wide).make_preferred()));
}

TEST_F(LaunchActionTest, ArgumentsReachTheSetupExactlyAndAreLogged) {
  // The words a Windows command line is easily got wrong with: spaces, quotes, backslashes
  // before a quote or at the end, an empty word.
  const std::vector<std::string> words = {
      "/quiet", "",         "INSTALLDIR=C:\\Program Files\\Vendor\\", "say \"hi\"", "a\\\\\"b",
      "\\",     "tab\there"};
  Logger::ResetForTesting();
  TemporaryFolder logs;
  {
    ScopedEnvironmentVariable logDir("VLM_LOG_DIR", PathToUtf8(logs.path()));
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }
  Place("Setup.exe");
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir)}, {"arguments", words}})["result"], 0);
  std::string expected;
  for (const std::string& word : words) expected += word + '\0';
  EXPECT_EQ(ReadFileBytes(dir / "arguments.txt"), expected);
  const std::vector<std::string> lines = LauncherLogLines();
  Logger::ResetForTesting();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "INFO Setup arguments: " + nlohmann::json(words).dump()),
            lines.end());

  // An empty list is no arguments.
  EXPECT_EQ(
      Launch({{"unzipdir", PathToUtf8(dir)}, {"arguments", nlohmann::json::array()}})["result"], 0);
  EXPECT_EQ(ReadFileBytes(dir / "arguments.txt"), "");
}

TEST_F(LaunchActionTest, MalformedArgumentsAnswer87AndStartNothing) {
  Place("Setup.exe");
  const std::vector<nlohmann::json> malformed = {
      nullptr,
      "/quiet",
      nlohmann::json::object(),
      {"/quiet", 1},
      {std::string("a\0b", 3)},
      nlohmann::json(std::vector<std::string>(kMaxLaunchArguments + 1, "x")),
      {std::string(kMaxLaunchArgumentBytes + 1, 'x')},
      nlohmann::json(
          std::vector<std::string>(kMaxLaunchArgumentsBytes / kMaxLaunchArgumentBytes + 1,
                                   std::string(kMaxLaunchArgumentBytes, 'x'))),
  };
  const auto hides = [this] { return std::ranges::count(h.window.Events(), "hide"); };
  for (const nlohmann::json& arguments : malformed) {
    const auto hidden = hides();
    EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir)}, {"arguments", arguments}})["result"], 87)
        << arguments.dump().substr(0, 80);
    EXPECT_FALSE(fs::exists(dir / "seen.txt"));
    // Refused before the window was hidden.
    EXPECT_EQ(hides(), hidden);
  }
  // At the limits, still started.
  EXPECT_EQ(Launch({{"unzipdir", PathToUtf8(dir)},
                    {"arguments", std::vector<std::string>(
                                      kMaxLaunchArgumentsBytes / kMaxLaunchArgumentBytes,
                                      std::string(kMaxLaunchArgumentBytes, 'x'))}})["result"],
            0);
}

}  // namespace
