#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/native_window.h"

struct ITaskbarList3;

// A size in pixels.
struct PixelSize {
  int width;
  int height;
};

// `atDefaultDpi` (pixels at 96 DPI, i.e. device-independent pixels) at `dpi`, rounded to the
// nearest pixel: 514 x 395 is 771 x 593 at 144 DPI and 1028 x 790 at 192 DPI.
PixelSize ScaleForDpi(PixelSize atDefaultDpi, unsigned dpi);

// The main window on Win32: class "VelmoranteDownloaderWebView2", caption and system menu only
// (no sizing, no minimise or maximise box), 520 x 420 outside at 100 % scaling (96 DPI),
// centred on the screen as the grown client rectangle would be, icon groups 107 and 108 of the
// module, and the page's title as its text (the window's name for the taskbar, Alt+Tab and
// screen readers). The title bar is dark when the system's apps are (AppsUseLightTheme 0), as
// the web view's "prefers-color-scheme" is, and follows a change of that setting. Work
// progress shows on the taskbar button (ITaskbarList3, once the taskbar has made the button);
// a request for attention flashes the button until the window comes to the front.
//
// Scaled displays: the process is per-monitor DPI aware (quillfetch.manifest). The client area
// is fixed in device-independent pixels: the client area of the 520 x 420 window at 96 DPI
// (the system's frame at 96 DPI taken off), scaled by the window's DPI (GetDpiForWindow), with
// the system's frame for that DPI around it (AdjustWindowRectExForDpi). When the window's DPI
// changes (another monitor, another scale), it answers WM_GETDPISCALEDSIZE with that size and
// takes the rectangle WM_DPICHANGED suggests; every change of the client area's size is handed
// to the client-area listener (the web view keeps its bounds equal to the client area). The
// system never cuts the window down to the screen (WM_GETMINMAXINFO): the page always gets its
// whole client area.
//
// Every message of the window reaches the portable MainWindowProc first; what it leaves goes to
// DefWindowProcW, except WM_CLOSE, which the page decides. Post is PostMessageW, so messages
// from any thread keep their order per thread and run on the window thread; TakeQueued looks at
// the first message posted to this window (or a child) that is still queued. After the window is
// destroyed posts are refused and the caller keeps what wParam points to.
// Show, Hide and ShowMinimized from another thread do not wait for the window thread (which may
// be blocked waiting for a launched setup): they are carried out asynchronously.
class Win32NativeWindow : public NativeWindow {
 public:
  static constexpr int kOuterWidth = 520;
  static constexpr int kOuterHeight = 420;
  static constexpr char16_t kClassName[] = u"VelmoranteDownloaderWebView2";
  static constexpr int kLargeIconId = 107;
  static constexpr int kSmallIconId = 108;

  // Registers the class and creates the window, not yet shown, on the calling thread, which
  // becomes the window thread. `instance` is the module holding the icons. Null when no window
  // could be created.
  static std::unique_ptr<Win32NativeWindow> Create(void* instance);
  ~Win32NativeWindow() override;

  Win32NativeWindow(const Win32NativeWindow&) = delete;
  Win32NativeWindow& operator=(const Win32NativeWindow&) = delete;

  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  bool TakeQueued(uint32_t message, uintptr_t& wParam, intptr_t& lParam) override;
  void Show() override;
  void Hide() override;
  void ShowMinimized() override;
  bool IsVisible() const override;
  void Destroy() override;
  void PostQuit(int exitCode) override;
  void SetTitle(const std::string& title) override;
  void ShowWorkProgress(std::optional<double> fraction) override;
  void RequestAttention() override;

  // The system backdrop and the title bar's colour scheme, then the title again (some systems
  // redraw a caption when the attributes change). Systems that reject an attribute keep their
  // default.
  void ApplySystemLook();

  // Runs the thread's message loop (every window of the thread, so the web view's own messages
  // flow too) until the quit message; returns its exit code.
  int RunMessageLoop();

  // Called on the window thread after the client area changed size (not when minimised).
  // One listener; an empty function removes it. Its owner removes it before it goes away.
  void SetClientAreaListener(std::function<void()> listener);

  // The window's DPI: 96 at 100 % scaling.
  unsigned Dpi() const;

  void* handle() const { return hwnd_; }

 private:
  struct Procedure;
  friend struct Procedure;

  Win32NativeWindow() = default;
  void ShowWith(int command);
  // Sizes the window for its DPI and centres it on the screen.
  void FitToDpi();

  void* hwnd_ = nullptr;
  PixelSize size_ = {0, 0};  // the outer size it takes at its DPI
  std::function<void()> clientAreaListener_;
  std::u16string title_;
  ITaskbarList3* taskbar_ = nullptr;  // made on first use; null where there is no taskbar
  bool taskbarUnavailable_ = false;
  unsigned long threadId_ = 0;
  std::atomic<bool> destroyed_{false};
};

// Where a window of the grown size `grownWidth` x `grownHeight` is centred on the screen: half
// the difference on each axis, divided with truncation toward zero (a screen narrower than the
// window gives a small negative origin).
struct WindowOrigin {
  int x;
  int y;
};
WindowOrigin CentredOrigin(int screenWidth, int screenHeight, int grownWidth, int grownHeight);
