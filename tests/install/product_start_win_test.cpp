// The product starts through the desktop's shell, as the signed-in user, in its own folder.

#include <objbase.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "install/launch_test_support.h"
#include "install/product_start.h"
#include "support/logger_fixture.h"

namespace fs = std::filesystem;

namespace {

class ProductStartWinTest : public LoggerFixture {};

TEST_F(ProductStartWinTest, TheDesktopsShellStartsTheProductInItsFolder) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  TemporaryFolder folder;
  const fs::path program = folder.path() / "Demo Product" / "bin" / "demo.exe";
  fs::create_directories(program.parent_path());
  fs::copy_file(LaunchProbePath(), program);

  std::string detail;
  EXPECT_EQ(StartProduct(program, detail), 0u) << detail;
  const fs::path seen = program.parent_path() / "seen.txt";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(seen) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(fs::exists(seen));
  EXPECT_TRUE(EntriesAt("WARN", "The desktop's shell could not start the product").empty());
  // Give the probe time to close the file before the folder goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  CoUninitialize();
}

// Where no desktop shell answers (here: no COM apartment to ask it from), only a program without
// administrator rights starts the product itself; an elevated one starts nothing. Wine runs
// every program elevated and has no separate desktop user, so the rights the started product
// would have had are Windows' to show.
TEST_F(ProductStartWinTest, WithoutTheShellAnElevatedInstallerStartsNothing) {
  for (const bool elevated : {true, false}) {
    TemporaryFolder folder;
    const fs::path program = folder.path() / "demo.exe";
    fs::copy_file(LaunchProbePath(), program);
    ScopedElevation elevation(elevated);
    std::string detail;
    const uint32_t result = StartProduct(program, detail);
    const fs::path seen = folder.path() / "seen.txt";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(elevated ? 2 : 30);
    while (!fs::exists(seen) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(result, elevated ? 65600u : 0u) << detail;
    EXPECT_EQ(fs::exists(seen), !elevated);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
}

}  // namespace
