#pragma once

#include <cstdint>

// Message numbers of the main window. The system ones carry their Win32 values so that the
// window procedure reads the same on every platform.
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_CLOSE = 0x0010;
inline constexpr uint32_t WM_USER = 0x0400;

// wParam: a heap std::string* that the receiver owns and frees. lParam 0: the string is the
// UTF-8 script. lParam kCountedScript: the same, one of a series the window counts while it
// waits. lParam kLatestScriptKey: the string is a key, and the script to run is the one the
// window holds under it (NativeWindow::PostLatestScript).
inline constexpr uint32_t WM_RUN_SCRIPT = WM_USER + 101;  // 1125
inline constexpr intptr_t kLatestScriptKey = 1;
inline constexpr intptr_t kCountedScript = 2;
// Asks the page again whether it may close: becomes a WM_CLOSE.
inline constexpr uint32_t WM_CLOSE_REQUEST = WM_USER + 102;  // 1126
// Destroys the window: the program ends.
inline constexpr uint32_t WM_DESTROY_NOW = WM_USER + 103;  // 1127
// Shows the latest figure of NativeWindow::PostWorkProgress on the taskbar button.
inline constexpr uint32_t WM_WORK_PROGRESS = WM_USER + 104;  // 1128
// Asks for the user's attention (NativeWindow::RequestAttention).
inline constexpr uint32_t WM_ATTENTION = WM_USER + 105;  // 1129
