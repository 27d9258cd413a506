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

}  // namespace
