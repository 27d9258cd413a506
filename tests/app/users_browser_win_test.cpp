#include "app/users_browser_win.h"

#include <objbase.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/logger_fixture.h"

namespace {

class UsersBrowserTest : public LoggerFixture {};

// A batch file stands in for the link, so the test sees what the desktop's shell started
// without a browser being started.
TEST_F(UsersBrowserTest, TheDesktopsShellOpensTheLink) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  TemporaryFolder folder;
  const std::filesystem::path opened = folder.path() / "opened.txt";
  const std::filesystem::path link = folder.path() / "link.bat";
  std::ofstream(link) << "@echo opened> \"" << opened.string() << "\"\r\n";

  OpenInUsersBrowser(link.wstring());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(opened) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(std::filesystem::exists(opened));
  EXPECT_TRUE(EntriesAt("WARN", "The desktop's shell could not open the link").empty());
  CoUninitialize();
}

}  // namespace
