#pragma once

#include <cstdint>

// The main window as the portable code needs it. One backend per platform (GTK on Linux,
// Win32 on Windows) and a fake for tests.
//
// Threading: Post, Show and IsVisible may be called from any thread (workers show the window
// again when they complete). Everything else runs on the window thread.
class NativeWindow {
 public:
  virtual ~NativeWindow() = default;

  // Queues a message for MainWindowProc on the window thread. Returns false when the window no
  // longer takes messages; the caller then still owns whatever wParam points to.
  virtual bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

  // Removes the message at the head of this window's queue when it is `message`, handing its
  // parameters (and whatever wParam owns) to the caller. False, with the queue unchanged, when
  // the queue is empty or starts with anything else: nothing is ever taken out of order. The
  // window procedure uses it to run a burst of queued scripts in one evaluation. A window may
  // always answer false (this default); each message then simply arrives on its own.
  // Window thread only.
  virtual bool TakeQueued(uint32_t message, uintptr_t& wParam, intptr_t& lParam) {
    (void)message;
    (void)wParam;
    (void)lParam;
    return false;
  }

  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void ShowMinimized() = 0;
  virtual bool IsVisible() const = 0;

  // Destroys the window; MainWindowProc then receives WM_DESTROY.
  virtual void Destroy() = 0;

  // Ends the message loop; the program then exits with `exitCode`.
  virtual void PostQuit(int exitCode) = 0;
};
