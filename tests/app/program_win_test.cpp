// The real quillfetch.exe under Wine: one instance at a time, and a window that closes when no
// web view can start because no loader is beside the program.

#include <gtest/gtest.h>

#include "program_runner_win.h"

namespace {

TEST(ProgramTest, OneInstanceAtATimeAndTheCloseButtonWorksWithoutAWebView) {
  ProgramFolder folder({});

  Program first(folder.exe());
  ASSERT_TRUE(first.started());
  const HWND window = first.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << first.WaitForExit(0);
  EXPECT_TRUE(IsWindowVisible(window));

  Program second(folder.exe());
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(), 183u);

  // No loader beside the program: the close button must still end it, with 0.
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(), 0u);
  const std::string logs = folder.Logs();
  EXPECT_NE(logs.find("SetupWebView::Initialize called"), std::string::npos);
  EXPECT_NE(logs.find("WebView could not start: no loader"), std::string::npos) << logs;
}

}  // namespace
