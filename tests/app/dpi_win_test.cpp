// The real quillfetch.exe with the fake web view runtime at 100, 150 and 200 % scaling: the
// client area is the same in device-independent pixels, the frame is the system's for the DPI,
// and the web view's bounds are the client area.
//
// The scale is the prefix's: LogPixels in HKCU\Control Panel\Desktop and in the current hardware
// profile's font settings. Wine 8 reads it when a process starts, so each run of the program
// gets the value set just before it. Wine's null display is 1024 x 768: at 200 % the window is
// larger than that, as the window never lets the system cut its page down. CTest runs this program
// in a Wine prefix of its own (wine-prefix-dpi), where nothing else starts meanwhile; the values
// are put back at the end.

#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <optional>
#include <string>

#include "program_runner_win.h"

namespace {

using nlohmann::json;

constexpr DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU;

// One LogPixels value, as it was before the test, put back when it ends.
class LogPixels {
 public:
  LogPixels(HKEY root, const wchar_t* key) : root_(root), key_(key) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(root_, key_, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
        ERROR_SUCCESS) {
      saved_ = value;
    }
  }
  ~LogPixels() {
    if (saved_) {
      Set(*saved_);
    } else {
      RegDeleteKeyValueW(root_, key_, L"LogPixels");
    }
  }
  LogPixels(const LogPixels&) = delete;
  LogPixels& operator=(const LogPixels&) = delete;

  bool Set(DWORD dpi) const {
    return RegSetKeyValueW(root_, key_, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi)) ==
           ERROR_SUCCESS;
  }

 private:
  HKEY root_;
  const wchar_t* key_;
  std::optional<DWORD> saved_;
};

// A page that answers every close request with doClose.
json ClosingPage() {
  return {
      {"onPageLoaded", json::array()},
      {"onScript",
       {{{"contains", "window.requestClose"}, {"steps", {{{"post", {{"action", "doClose"}}}}}}}}}};
}

SIZE FrameAt(UINT dpi) {
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectExForDpi(&frame, kFrameStyle, FALSE, 0, dpi);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

struct Geometry {
  std::string logs;
  RECT outer = {};
  RECT client = {};
  json bounds;  // the web view's last bounds
};

// Starts the program with the fake runtime, reads its window once the page has its bounds,
// and closes it through the page.
Geometry RunProgram() {
  Geometry seen;
  ProgramFolder folder(TestProgramFolder() / "fake_runtime" / "WebView2Loader.dll", ClosingPage());
  Program program(folder.exe());
  EXPECT_TRUE(program.started());
  const HWND window = program.WaitForWindow();
  EXPECT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  if (window == nullptr) return seen;
  EXPECT_TRUE(WaitFor([&] { return !folder.Calls("put_Bounds").empty(); }))
      << folder.Record().dump() << folder.Logs();
  GetWindowRect(window, &seen.outer);
  GetClientRect(window, &seen.client);
  const auto bounds = folder.Calls("put_Bounds");
  if (!bounds.empty()) seen.bounds = bounds.back();
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  seen.logs = folder.Logs();  // written out at exit
  return seen;
}

TEST(DpiScalingTest, TheClientAreaScalesWithTheDisplayAndTheWebViewFillsIt) {
  // Physical pixels for every window, whatever this program's own awareness would be.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const LogPixels desktop(HKEY_CURRENT_USER, L"Control Panel\\Desktop");
  const LogPixels fonts(HKEY_LOCAL_MACHINE,
                        L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts");

  LONG clientWidth96 = 0;
  LONG clientHeight96 = 0;
  for (const UINT dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    ASSERT_TRUE(desktop.Set(dpi));
    ASSERT_TRUE(fonts.Set(dpi));
    const Geometry seen = RunProgram();
    // The program's own view of its DPI (Wine answers GetDpiForWindow for another process's
    // window with the asking process's DPI, which this one read at its start).
    ASSERT_NE(seen.logs.find(" pixels at " + std::to_string(dpi) + " DPI"), std::string::npos)
        << "the program did not get the prefix's scale:\n"
        << seen.logs;

    const LONG width = seen.client.right - seen.client.left;
    const LONG height = seen.client.bottom - seen.client.top;
    if (dpi == 96) {
      // 100 %: the program's fixed window, 520 x 420 outside.
      EXPECT_EQ(seen.outer.right - seen.outer.left, 520);
      EXPECT_EQ(seen.outer.bottom - seen.outer.top, 420);
      clientWidth96 = width;
      clientHeight96 = height;
    } else {
      // The same client area in device-independent pixels, rounded to the nearest pixel.
      EXPECT_EQ(width, MulDiv(clientWidth96, static_cast<int>(dpi), 96));
      EXPECT_EQ(height, MulDiv(clientHeight96, static_cast<int>(dpi), 96));
    }
    // The system's frame for this DPI around it.
    const SIZE frame = FrameAt(dpi);
    EXPECT_EQ(seen.outer.right - seen.outer.left, width + frame.cx);
    EXPECT_EQ(seen.outer.bottom - seen.outer.top, height + frame.cy);

    // The web view covers the client area exactly.
    EXPECT_EQ(seen.bounds.value("left", -1), 0) << seen.bounds.dump();
    EXPECT_EQ(seen.bounds.value("top", -1), 0) << seen.bounds.dump();
    EXPECT_EQ(seen.bounds.value("right", -1), width) << seen.bounds.dump();
    EXPECT_EQ(seen.bounds.value("bottom", -1), height) << seen.bounds.dump();

    // What the page gets: the bounds in CSS pixels (the web view's scale is the window's DPI).
    std::cout << "at " << dpi << " DPI: outer " << seen.outer.right - seen.outer.left << " x "
              << seen.outer.bottom - seen.outer.top << ", web view " << width << " x " << height
              << " px, page viewport " << MulDiv(width, 96, static_cast<int>(dpi)) << " x "
              << MulDiv(height, 96, static_cast<int>(dpi)) << " CSS px\n";
  }
}

}  // namespace
