// The Win32 window under Wine: what it looks like to the system (class, style, geometry,
// icons, title) and the close protocol through its real window procedure and message queue.

#include "app/window_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/main_window_proc.h"
#include "app/setup_web_view.h"
#include "bridge/page_responder.h"
#include "support/fake_web_view.h"
#include "support/logger_fixture.h"
#include "support/test_environment.h"

namespace {

HWND Hwnd(const Win32NativeWindow& window) {
  return static_cast<HWND>(window.handle());
}

// Runs the thread's message loop until `done` holds or the quit message comes; false on time-out.
bool PumpUntil(const std::function<bool()>& done, bool* quit = nullptr, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG message;
    bool any = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      any = true;
      if (message.message == WM_QUIT) {
        if (quit != nullptr) *quit = true;
        return true;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(WindowGeometryTest, CentresTheGrownRectangleWithTruncatingDivision) {
  const WindowOrigin usual = CentredOrigin(1920, 1080, 536, 459);
  EXPECT_EQ(usual.x, 692);
  EXPECT_EQ(usual.y, 310);
  // Narrower than the window: -3 / 2 is -1, not -2.
  const WindowOrigin narrow = CentredOrigin(533, 456, 536, 459);
  EXPECT_EQ(narrow.x, -1);
  EXPECT_EQ(narrow.y, -1);
}

class Win32WindowTest : public LoggerFixture {
 protected:
  void SetUp() override {
    LoggerFixture::SetUp();
    window = Win32NativeWindow::Create(GetModuleHandleW(nullptr));
    ASSERT_NE(window, nullptr);
    host = std::make_unique<SetupWebView>(window.get(), temp.path() / "UI");
  }
  FakeWebView* MakeWebViewReady() {
    auto view = std::make_unique<FakeWebView>();
    FakeWebView* raw = view.get();
    host->OnWebViewReady(std::move(view));
    return raw;
  }

  TemporaryFolder temp;
  std::unique_ptr<Win32NativeWindow> window;
  std::unique_ptr<SetupWebView> host;
};

TEST_F(Win32WindowTest, ReadsBackAsTheProgramsWindow) {
  window->Show();
  window->ApplySystemLook();
  const HWND hwnd = Hwnd(*window);

  wchar_t className[64] = {};
  GetClassNameW(hwnd, className, 64);
  EXPECT_EQ(std::wstring(className), L"VelmoranteDownloaderWebView2");

  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  const LONG frame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  EXPECT_EQ(style & frame, WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & 0xC80000, 0xC80000);
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 0);
  EXPECT_TRUE(window->IsVisible());

  RECT outer = {};
  GetWindowRect(hwnd, &outer);
  RECT grown = {0, 0, 520, 420};
  AdjustWindowRect(&grown, WS_CAPTION | WS_SYSMENU, FALSE);
  const WindowOrigin expected =
      CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                    grown.right - grown.left, grown.bottom - grown.top);
  EXPECT_EQ(outer.left, expected.x);
  EXPECT_EQ(outer.top, expected.y);
  EXPECT_EQ(outer.right - outer.left, 520);
  EXPECT_EQ(outer.bottom - outer.top, 420);

  const HMODULE module = GetModuleHandleW(nullptr);
  const HICON large = LoadIconW(module, MAKEINTRESOURCEW(107));
  const HICON small = LoadIconW(module, MAKEINTRESOURCEW(108));
  ASSERT_NE(large, nullptr);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICON)), large);
  EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM)), small);
  EXPECT_NE(large, small);
}

TEST(WindowGeometryTest, ScalesDeviceIndependentPixelsToTheNearestPixel) {
  const PixelSize client = {514, 395};
  EXPECT_EQ(ScaleForDpi(client, 96).width, 514);
  EXPECT_EQ(ScaleForDpi(client, 96).height, 395);
  EXPECT_EQ(ScaleForDpi(client, 144).width, 771);
  EXPECT_EQ(ScaleForDpi(client, 144).height, 593);  // 592.5 rounds up
  EXPECT_EQ(ScaleForDpi(client, 120).width, 643);   // 642.5
  EXPECT_EQ(ScaleForDpi(client, 192).width, 1028);
  EXPECT_EQ(ScaleForDpi(client, 192).height, 790);
}

// A move to a monitor of another scale, as the system announces it (the test's own DPI does
// not change: the messages are sent as the system would send them).
TEST_F(Win32WindowTest, TakesTheSizeOfANewDpiAndTellsItsClientArea) {
  const HWND hwnd = Hwnd(*window);
  int told = 0;
  window->SetClientAreaListener([&told] { ++told; });

  RECT client = {};
  GetClientRect(hwnd, &client);
  const UINT dpi = GetDpiForWindow(hwnd);
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectExForDpi(&frame, WS_CAPTION | WS_SYSMENU, FALSE, 0, dpi);
  // The client area at 96 DPI, in the frame of 192 DPI.
  RECT expected = {0, 0, MulDiv(client.right, 96, static_cast<int>(dpi)) * 2,
                   MulDiv(client.bottom, 96, static_cast<int>(dpi)) * 2};
  AdjustWindowRectExForDpi(&expected, WS_CAPTION | WS_SYSMENU, FALSE, 0, 192);
  SIZE size = {1, 1};
  EXPECT_EQ(SendMessageW(hwnd, WM_GETDPISCALEDSIZE, MAKEWPARAM(192, 192),
                         reinterpret_cast<LPARAM>(&size)),
            TRUE);
  EXPECT_EQ(size.cx, expected.right - expected.left);
  EXPECT_EQ(size.cy, expected.bottom - expected.top);

  const RECT suggested = {40, 30, 40 + size.cx, 30 + size.cy};
  EXPECT_EQ(
      SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested)),
      0);
  RECT outer = {};
  GetWindowRect(hwnd, &outer);
  EXPECT_EQ(outer.left, suggested.left);
  EXPECT_EQ(outer.top, suggested.top);
  EXPECT_EQ(outer.right, suggested.right);
  EXPECT_EQ(outer.bottom, suggested.bottom);
  EXPECT_GE(told, 1);

  // Minimised, the client area is empty: nothing to follow.
  window->Show();
  const int before = told;
  ShowWindow(hwnd, SW_MINIMIZE);
  EXPECT_EQ(told, before);
  window->SetClientAreaListener(nullptr);
}

TEST_F(Win32WindowTest, CloseButtonAsksThePageWhichClosesTheWindow) {
  FakeWebView* view = MakeWebViewReady();
  // The system's close (the button, Alt+F4) arrives as WM_CLOSE: the window must stay.
  PostMessageW(Hwnd(*window), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !view->scripts.empty(); }));
  EXPECT_EQ(view->scripts.back(), kRequestCloseScript);
  EXPECT_TRUE(IsWindow(Hwnd(*window)));

  // Asked again once per request, never more.
  window->Post(1126 /* WM_CLOSE_REQUEST */, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return view->scripts.size() == 2; }));
  PumpUntil([] { return false; }, nullptr, 200);
  EXPECT_EQ(view->scripts.size(), 2u);

  // The page answers. While a clean-up runs (held here; the first doClose's own may already be
  // over) the page is asked again and the window stays; once idle, doClose ends the loop.
  const HWND hwnd = Hwnd(*window);
  *host->CleaningUp() = true;
  const size_t asked = view->scripts.size();
  host->OnWebMessageReceived(R"({"action":"doClose"})");
  ASSERT_TRUE(PumpUntil([&] { return view->scripts.size() > asked; }));
  EXPECT_EQ(view->scripts.back(), kRequestCloseScript);
  EXPECT_TRUE(IsWindow(hwnd));
  *host->CleaningUp() = false;
  host->OnWebMessageReceived(R"({"action":"doClose"})");
  bool quit = false;
  ASSERT_TRUE(PumpUntil([] { return false; }, &quit));
  EXPECT_TRUE(quit);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(window->Post(1125 /* WM_RUN_SCRIPT */, 0, 0));
}

TEST_F(Win32WindowTest, CloseButtonClosesAWindowWithoutAPage) {
  const HWND hwnd = Hwnd(*window);
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  bool quit = false;
  ASSERT_TRUE(PumpUntil([] { return false; }, &quit));
  EXPECT_TRUE(quit);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Win32WindowTest, WorkerCompletionShowsTheHiddenWindowAndRunsItsScript) {
  FakeWebView* view = MakeWebViewReady();
  window->Show();
  window->Hide();
  ASSERT_FALSE(window->IsVisible());
  // As a download's worker answers while the window thread waits for nothing in particular.
  std::thread worker([responder = host->Responder()] {
    CallbackPayload payload;
    payload.cbid = "w1";
    responder->Complete(payload);
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return !view->scripts.empty() && window->IsVisible(); }));
  EXPECT_NE(view->scripts[0].find("window.onActionComplete"), std::string::npos);
}

}  // namespace
