// doFindProduct and doOpenProduct with a real program (launch_probe) on either platform: where
// the product is, starting it, and every way a folder or a name could lead somewhere else.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/utf8_path.h"
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
      {"doOpenProduct", folder, "", 2},
  };
  for (const Case& c : cases) {
    const json answer = Ask(c.action, c.folder, c.program);
    EXPECT_EQ(answer["result"], c.result) << c.folder << " " << c.program;
    EXPECT_FALSE(answer["message"].get<std::string>().empty()) << c.program;
  }
  EXPECT_FALSE(Ran(dir, 500));
}

}  // namespace
