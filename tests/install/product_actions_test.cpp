// doFindProduct and doOpenProduct with a real program (launch_probe) on either platform: where
// the product is, starting it, and every way a folder or a name could lead somewhere else; Open
// starts only the product config.json names, and only after a setup of this run succeeded.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/setup_web_view.h"
#include "base/utf8_path.h"
#include "install/known_folder.h"
#include "install/launch_test_support.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class ProductActionsTest : public LaunchActionTest {
 protected:
  json Ask(const std::string& action, const std::string& folder, const std::string& program) {
    const size_t before = h.Completions().size();
    h.Post(json{{"action", action}, {"callbackId", "p"}, {"folder", folder}, {"program", program}}
               .dump());
    const auto completions = h.Completions();
    EXPECT_EQ(completions.size(), before + 1);
    return completions.empty() ? json() : completions.back().payload;
  }

  // Whether the probe ran in `folder` (it writes seen.txt into its working folder).
  static bool Ran(const fs::path& folder, int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!fs::exists(folder / "seen.txt") && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return fs::exists(folder / "seen.txt");
  }

  // The vendor's configuration, as the page's config.json gives it.
  void Configure(const std::string& folder, const std::string& program) {
    fs::create_directories(h.temp.path() / "UI");
    std::ofstream(h.temp.path() / "UI" / "config.json")
        << json{{"productFolder", folder}, {"productProgram", program}}.dump();
  }

  // Runs the setup `name` (a probe) from a folder this run made, as after doUnZip; its result.
  uint32_t RunSetup(const std::string& name) {
    const fs::path setup = h.temp.path() / "extracted" / name;
    fs::create_directories(setup.parent_path());
    fs::copy_file(LaunchProbePath(), setup, fs::copy_options::overwrite_existing);
    h.host->WorkingFolders().push_back(GenericPathToUtf8(setup.parent_path()));
    return Launch(
        {{"unzipdir", PathToUtf8(setup.parent_path())}, {"launcherName", name}})["result"];
  }
};

TEST_F(ProductActionsTest, FindsTheProductThroughAnEnvironmentReferenceAndStartsIt) {
  Place("Demo Product/bin/demo.exe");
  ScopedEnvironmentVariable root("VLM_TEST_PRODUCTS", PathToUtf8(dir));
  const std::string folder = "%VLM_TEST_PRODUCTS%/Demo Product";
  const json found =
      json::parse(Ask("doFindProduct", folder, "bin/demo.exe")["message"].get<std::string>());
  EXPECT_EQ(found, (json{{"folder", NativePathToUtf8(dir / "Demo Product")},
                         {"program", NativePathToUtf8(dir / "Demo Product/bin/demo.exe")}}));
  // A folder alone says where the product went.
  EXPECT_EQ(Ask("doFindProduct", folder, "")["result"], 0);
  EXPECT_FALSE(Ran(dir / "Demo Product/bin", 0));

  Configure(folder, "bin/demo.exe");
  ASSERT_EQ(RunSetup("setup.exe"), 0u);
  const json opened = Ask("doOpenProduct", folder, "bin/demo.exe");
  EXPECT_EQ(opened["result"], 0);
  EXPECT_EQ(opened["cbid"], "p");
  // Started without waiting for it, with no arguments, in its own folder.
  ASSERT_TRUE(Ran(dir / "Demo Product/bin", 30000));
  std::string seen;
  std::getline(std::ifstream(dir / "Demo Product/bin/seen.txt"), seen);
  EXPECT_EQ(seen.substr(0, 2), "0|");
  EXPECT_EQ(PathFromUtf8(seen.substr(seen.rfind('|') + 1)), dir / "Demo Product" / "bin");
}

TEST_F(ProductActionsTest, RefusesWhatLeavesTheFolderOrIsNotThereAndStartsNothing) {
  Place("outside.exe");
  Place("Demo/readme.txt");
  const std::string folder = PathToUtf8(dir / "Demo");
  ScopedEnvironmentVariable unset("VLM_TEST_UNSET", std::nullopt);
  struct Case {
    std::string action, folder, program;
    int result;
  } const cases[] = {
      {"doOpenProduct", folder, "../outside.exe", 161},
      {"doOpenProduct", folder, "bin/../../outside.exe", 161},
      {"doOpenProduct", folder, PathToUtf8(dir / "outside.exe"), 161},
      {"doFindProduct", "Demo", "", 161},
      {"doFindProduct", "%VLM_TEST_UNSET%/Demo", "", 203},
      {"doFindProduct", PathToUtf8(dir / "Absent"), "", 3},
      {"doOpenProduct", folder, "absent.exe", 2},
      {"doOpenProduct", folder, "", 65602},
  };
  ASSERT_EQ(RunSetup("setup.exe"), 0u);
  for (const Case& c : cases) {
    Configure(c.folder, c.program);
    const json answer = Ask(c.action, c.folder, c.program);
    EXPECT_EQ(answer["result"], c.result) << c.folder << " " << c.program;
    EXPECT_FALSE(answer["message"].get<std::string>().empty()) << c.program;
  }
  EXPECT_FALSE(Ran(dir, 500));
}

// Elevated, %NAME% is taken only from the system's known folders: a variable that the user's
// other programs set for the next elevated start steers nothing.
TEST_F(ProductActionsTest, ElevatedTakesOnlyKnownFolders) {
  Place("Demo/demo.exe");
  // A name that is a known folder on this platform, planted in the environment.
  const std::string known = KnownFolderPath("HOME") ? "HOME" : "LocalAppData";
  ScopedEnvironmentVariable planted(known, PathToUtf8(dir));
  ScopedEnvironmentVariable other("VLM_TEST_PRODUCTS", PathToUtf8(dir));
  const std::string folder = "%" + known + "%/Demo";
  EXPECT_EQ(Ask("doFindProduct", folder, "demo.exe")["result"], 0);
  {
    ScopedElevation elevated(true);
    const json fromSystem = Ask("doFindProduct", folder, "demo.exe");
    EXPECT_EQ(fromSystem["message"],
              "The product folder " +
                  NativePathToUtf8(PathFromUtf8(*KnownFolderPath(known)) / "Demo") +
                  " does not exist");
    const json unknown = Ask("doFindProduct", "%VLM_TEST_PRODUCTS%/Demo", "demo.exe");
    EXPECT_EQ(unknown["result"], 203);
    EXPECT_NE(unknown["message"].get<std::string>().find("not a known folder"), std::string::npos);
  }
}

TEST_F(ProductActionsTest, OpensOnlyTheConfiguredProductAfterASetupOfThisRunSucceeded) {
  Place("Demo/demo.exe");
  Place("Other/pwn.exe");
  const std::string folder = PathToUtf8(dir / "Demo");
  Configure(folder, "demo.exe");
  EXPECT_EQ(Ask("doOpenProduct", folder, "demo.exe")["result"], 65601);
  // A setup that failed, or one the page named outside what this run extracted, is no success.
  EXPECT_EQ(RunSetup("exit-3.exe"), 3u);
  Place("exit-0.exe");
  EXPECT_EQ(LaunchResult("exit-0.exe"), 0u);
  EXPECT_EQ(Ask("doOpenProduct", folder, "demo.exe")["result"], 65601);
  EXPECT_FALSE(h.host->Setups().restartWanted);

  // Installed, to be finished by a restart: a success, and the restart is then allowed. A POSIX
  // exit status keeps only the low 8 bits (194), which asks for nothing.
  const uint32_t restart = RunSetup("exit-3010.exe");
  EXPECT_EQ(h.host->Setups().restartWanted, restart == 3010u) << restart;
  EXPECT_EQ(RunSetup("setup.exe"), 0u);
  // The message may only repeat what config.json names.
  const struct {
    std::string folder, program;
  } others[] = {{PathToUtf8(dir / "Other"), "pwn.exe"},
                {folder, "../Other/pwn.exe"},
                {PathToUtf8(dir / "Other"), ""}};
  for (const auto& other : others) {
    EXPECT_EQ(Ask("doOpenProduct", other.folder, other.program)["result"], 65602)
        << other.folder << " " << other.program;
  }
  EXPECT_FALSE(Ran(dir / "Other", 500));
  EXPECT_EQ(Ask("doOpenProduct", "", "")["result"], 0);
  EXPECT_TRUE(Ran(dir / "Demo", 30000));
}

}  // namespace
