#include "app/window_win.h"

#include <windows.h>
//
#include <dwmapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <utility>

#include "app/main_window_proc.h"
#include "base/utf_convert.h"

namespace {

// Newer than the SDK headers of the toolchain: the numbers are the system's.
constexpr DWORD kSystemBackdropTypeAttribute = 38;  // DWMWA_SYSTEMBACKDROP_TYPE
constexpr DWORD kMainWindowBackdrop = 2;            // DWMSBT_MAINWINDOW
constexpr DWORD kImmersiveDarkModeAttribute = 20;   // DWMWA_USE_IMMERSIVE_DARK_MODE

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;

// The system's choice for applications' windows, which the web view's colour scheme follows.
bool AppsUseDarkTheme() {
  DWORD light = 1;
  DWORD size = sizeof(light);
  if (RegGetValueW(
          HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
          L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light, &size) != ERROR_SUCCESS) {
    return false;  // never set: the light default
  }
  return light == 0;
}

const wchar_t* ClassName() {
  return reinterpret_cast<const wchar_t*>(Win32NativeWindow::kClassName);
}

HWND AsHwnd(void* handle) {
  return static_cast<HWND>(handle);
}

// What the frame adds around a client area at `dpi`.
PixelSize FrameAt(unsigned dpi) {
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, 0, dpi);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// The window's outer size at `dpi`: the client area of the 520 x 420 window at 96 DPI, scaled,
// in the frame of that DPI. At 96 DPI exactly 520 x 420.
PixelSize OuterSizeAt(unsigned dpi) {
  const PixelSize frame96 = FrameAt(USER_DEFAULT_SCREEN_DPI);
  const PixelSize client = ScaleForDpi({Win32NativeWindow::kOuterWidth - frame96.width,
                                        Win32NativeWindow::kOuterHeight - frame96.height},
                                       dpi);
  const PixelSize frame = FrameAt(dpi);
  return {client.width + frame.width, client.height + frame.height};
}

}  // namespace

struct Win32NativeWindow::Procedure {
  static LRESULT CALLBACK Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<Win32NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_DESTROY) window->destroyed_ = true;
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      window->hwnd_ = nullptr;
    }
    switch (message) {
      case WM_GETDPISCALEDSIZE: {
        // Sent before WM_DPICHANGED: its suggested rectangle then has exactly this size.
        const PixelSize outer = OuterSizeAt(LOWORD(wParam));
        auto* size = reinterpret_cast<SIZE*>(lParam);
        size->cx = outer.width;
        size->cy = outer.height;
        return TRUE;
      }
      case WM_GETMINMAXINFO: {
        // The window is as large as its page needs, even where that is larger than the screen
        // (as at 100 % on a screen narrower than 520 pixels): the system would cut it down.
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, window->size_.width);
        limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, window->size_.height);
        return 0;
      }
      case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        window->size_ = {suggested->right - suggested->left, suggested->bottom - suggested->top};
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      case WM_SETTINGCHANGE:
        // The apps' light or dark choice changed.
        if (lParam != 0 &&
            lstrcmpW(reinterpret_cast<const wchar_t*>(lParam), L"ImmersiveColorSet") == 0) {
          window->ApplySystemLook();
        }
        break;
      case WM_SIZE:
        if (wParam != SIZE_MINIMIZED && window->clientAreaListener_) {
          // A copy: the listener may replace itself while it runs.
          const std::function<void()> listener = window->clientAreaListener_;
          listener();
        }
        break;
      default:
        break;
    }
    if (MainWindowProc(*window, message, wParam, lParam)) return 0;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
};

PixelSize ScaleForDpi(PixelSize atDefaultDpi, unsigned dpi) {
  const int scale = static_cast<int>(dpi);
  return {MulDiv(atDefaultDpi.width, scale, USER_DEFAULT_SCREEN_DPI),
          MulDiv(atDefaultDpi.height, scale, USER_DEFAULT_SCREEN_DPI)};
}

WindowOrigin CentredOrigin(int screenWidth, int screenHeight, int grownWidth, int grownHeight) {
  // C++ integer division truncates toward zero, which is the rule wanted here.
  return {(screenWidth - grownWidth) / 2, (screenHeight - grownHeight) / 2};
}

std::unique_ptr<Win32NativeWindow> Win32NativeWindow::Create(void* instance) {
  const auto module = static_cast<HINSTANCE>(instance);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &Procedure::Handle;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconW(module, MAKEINTRESOURCEW(kLargeIconId));
  windowClass.hIconSm = LoadIconW(module, MAKEINTRESOURCEW(kSmallIconId));
  windowClass.lpszClassName = ClassName();
  // Fails harmlessly when the class exists already (a second window of the same module).
  RegisterClassExW(&windowClass);

  // Created on the primary screen, where it will be shown; its size and place depend on the
  // DPI it gets there, known once it exists (and before it is shown).
  std::unique_ptr<Win32NativeWindow> window(new Win32NativeWindow());
  HWND hwnd = CreateWindowExW(0, ClassName(), L"", kWindowStyle, 0, 0, kOuterWidth, kOuterHeight,
                              nullptr, nullptr, module, nullptr);
  if (hwnd == nullptr) return nullptr;
  window->hwnd_ = hwnd;
  window->threadId_ = GetCurrentThreadId();
  // Only from here on do messages reach MainWindowProc: creation needs nothing of it.
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window.get()));
  window->FitToDpi();
  return window;
}

void Win32NativeWindow::FitToDpi() {
  const unsigned dpi = Dpi();
  const PixelSize outer = OuterSizeAt(dpi);
  size_ = outer;
  // Centred as the grown rectangle would be, but at the outer size itself.
  RECT grown = {0, 0, outer.width, outer.height};
  AdjustWindowRectExForDpi(&grown, kWindowStyle, FALSE, 0, dpi);
  const WindowOrigin origin =
      CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                    grown.right - grown.left, grown.bottom - grown.top);
  SetWindowPos(AsHwnd(hwnd_), nullptr, origin.x, origin.y, outer.width, outer.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

unsigned Win32NativeWindow::Dpi() const {
  const UINT dpi = hwnd_ != nullptr ? GetDpiForWindow(AsHwnd(hwnd_)) : 0;
  return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32NativeWindow::SetClientAreaListener(std::function<void()> listener) {
  clientAreaListener_ = std::move(listener);
}

Win32NativeWindow::~Win32NativeWindow() {
  if (taskbar_ != nullptr) taskbar_->Release();
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(AsHwnd(hwnd_), GWLP_USERDATA, 0);
    destroyed_ = true;
    DestroyWindow(AsHwnd(hwnd_));
  }
}

bool Win32NativeWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (destroyed_) return false;
  return PostMessageW(AsHwnd(hwnd_), message, wParam, lParam) != FALSE;
}

bool Win32NativeWindow::TakeQueued(uint32_t message, uintptr_t& wParam, intptr_t& lParam) {
  const HWND hwnd = AsHwnd(hwnd_);
  if (destroyed_ || hwnd == nullptr) return false;
  // Posted messages only (no input, paint or sent messages), for this window and its children
  // (the web view's own windows), in queue order: the head must be ours and `message`.
  MSG next = {};
  if (!PeekMessageW(&next, hwnd, 0, 0, PM_NOREMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
    return false;
  }
  if (next.hwnd != hwnd || next.message != message) return false;
  // Only this thread takes messages out and others only append, so the first `message` in the
  // queue is still the head just seen.
  if (!PeekMessageW(&next, hwnd, message, message, PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
    return false;
  }
  wParam = next.wParam;
  lParam = next.lParam;
  return true;
}

void Win32NativeWindow::ShowWith(int command) {
  if (destroyed_) return;
  if (GetCurrentThreadId() == threadId_) {
    ShowWindow(AsHwnd(hwnd_), command);
  } else {
    // ShowWindow would wait for the window thread, which may be waiting for a launched setup.
    ShowWindowAsync(AsHwnd(hwnd_), command);
  }
}

void Win32NativeWindow::Show() {
  ShowWith(SW_SHOW);
}

void Win32NativeWindow::Hide() {
  ShowWith(SW_HIDE);
}

void Win32NativeWindow::ShowMinimized() {
  ShowWith(SW_SHOWMINIMIZED);
}

bool Win32NativeWindow::IsVisible() const {
  return !destroyed_ && IsWindowVisible(AsHwnd(hwnd_)) != FALSE;
}

void Win32NativeWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  DestroyWindow(AsHwnd(hwnd_));
}

void Win32NativeWindow::PostQuit(int exitCode) {
  PostQuitMessage(exitCode);
}

void Win32NativeWindow::ApplySystemLook() {
  const HWND hwnd = AsHwnd(hwnd_);
  const DWORD backdrop = kMainWindowBackdrop;
  DwmSetWindowAttribute(hwnd, kSystemBackdropTypeAttribute, &backdrop, sizeof(backdrop));
  const BOOL dark = AppsUseDarkTheme() ? TRUE : FALSE;
  DwmSetWindowAttribute(hwnd, kImmersiveDarkModeAttribute, &dark, sizeof(dark));
  SetWindowTextW(hwnd, reinterpret_cast<const wchar_t*>(title_.c_str()));
}

void Win32NativeWindow::SetTitle(const std::string& title) {
  title_ = Utf8ToUtf16(title);
  if (hwnd_ != nullptr) {
    SetWindowTextW(AsHwnd(hwnd_), reinterpret_cast<const wchar_t*>(title_.c_str()));
  }
}

void Win32NativeWindow::ShowWorkProgress(std::optional<double> fraction) {
  if (hwnd_ == nullptr || taskbarUnavailable_) return;
  if (taskbar_ == nullptr) {
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&taskbar_))) ||
        FAILED(taskbar_->HrInit())) {
      if (taskbar_ != nullptr) taskbar_->Release();
      taskbar_ = nullptr;
      taskbarUnavailable_ = true;  // no shell: the page shows the progress anyway
      return;
    }
  }
  // Before the taskbar made the window's button these fail, and the next report tries again.
  const HWND hwnd = AsHwnd(hwnd_);
  if (!fraction) {
    taskbar_->SetProgressState(hwnd, TBPF_NOPROGRESS);
    return;
  }
  constexpr ULONGLONG kSteps = 1000;
  taskbar_->SetProgressState(hwnd, TBPF_NORMAL);
  taskbar_->SetProgressValue(hwnd, static_cast<ULONGLONG>(*fraction * kSteps), kSteps);
}

void Win32NativeWindow::RequestAttention() {
  const HWND hwnd = AsHwnd(hwnd_);
  if (hwnd == nullptr || GetForegroundWindow() == hwnd) return;
  FLASHWINFO flash = {};
  flash.cbSize = sizeof(flash);
  flash.hwnd = hwnd;
  flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;  // until the window comes to the front
  FlashWindowEx(&flash);
}

int Win32NativeWindow::RunMessageLoop() {
  MSG message = {};
  // -1 is an error of the call itself, not a message: looping on it would spin for ever.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}
