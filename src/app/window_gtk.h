#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/native_window.h"

typedef struct _GtkWidget GtkWidget;

// The main window on GTK 3: 520 x 420 outside, centred, fixed size, a client-side title bar
// with the page's title and only a close button, and the program's icons. The title bar
// follows the desktop's light or dark preference, as the page does; dark, it looks the same
// under any window manager or none. There is no taskbar progress on GTK; a request for
// attention marks the window urgent until it has the focus.
//
// Messages posted from any thread queue up and reach MainWindowProc in posting order on the
// window thread, from the GLib main loop; TakeQueued hands over the head of that queue. After
// Destroy, posts are refused (Post returns false)
// and messages still queued are dropped, their scripts freed.
// Show, Hide and ShowMinimized may be called from any thread: off the window thread they are
// carried out there later, but IsVisible reflects them at once.
// The close button becomes WM_CLOSE; destroying the window becomes WM_DESTROY.
class GtkNativeWindow : public NativeWindow {
 public:
  static constexpr int kOuterWidth = 520;
  static constexpr int kOuterHeight = 420;

  // Creates the window, not yet shown. gtk_init must have succeeded on this thread, which
  // becomes the window thread.
  GtkNativeWindow();
  ~GtkNativeWindow() override;

  GtkNativeWindow(const GtkNativeWindow&) = delete;
  GtkNativeWindow& operator=(const GtkNativeWindow&) = delete;

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

  // Places `child` in the area below the title bar, filling it. Window thread only.
  void SetContent(GtkWidget* child);

  // Runs the main loop until PostQuit; returns its exit code.
  int RunMessageLoop();

 private:
  enum class Kind { kMessage, kShow, kHide, kMinimize };
  struct Item {
    Kind kind;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };

  static int OnDrain(void* self);
  static int OnDeleteEvent(GtkWidget* widget, void* event, void* self);
  static void OnDestroy(GtkWidget* widget, void* self);
  static int OnFocusIn(GtkWidget* widget, void* event, void* self);
  static void OnColourSchemeChanged(void* settings, void* property, void* self);

  // Gives the title bar the dark look when the desktop prefers dark, the theme's otherwise.
  void FollowColourScheme();

  bool OnWindowThread() const { return std::this_thread::get_id() == thread_; }
  // Queues `item`; false when the window is gone.
  bool Enqueue(const Item& item);
  void Drain();
  void Carry(const Item& item);
  static void Discard(const Item& item);

  std::thread::id thread_;
  GtkWidget* window_ = nullptr;
  GtkWidget* content_ = nullptr;
  GtkWidget* header_ = nullptr;

  mutable std::mutex mutex_;
  std::deque<Item> queue_;     // guarded by mutex_
  std::deque<Item> draining_;  // guarded by mutex_: the batch being carried, ahead of queue_
  unsigned drainSource_ = 0;   // guarded by mutex_: the pending drain, 0 when none
  bool closed_ = false;        // guarded by mutex_: no more posts after Destroy

  std::atomic<bool> visible_{false};
  bool quitRequested_ = false;
  int exitCode_ = 0;
};
