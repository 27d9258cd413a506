#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

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

  // Queues `script` as the latest of a series under `key` (a callback id's progress): while an
  // earlier one still waits for the window thread, it is replaced and nothing new is posted, so
  // a window thread that is busy (waiting for a setup) never finds more than one waiting per
  // key. Posting is refused once it passes the limit of posted messages a thread may hold
  // (10,000 on Windows), and a completion posted after such a flood would be lost. Any thread.
  // False when the window no longer takes messages.
  bool PostLatestScript(const std::string& key, std::string script);

  // Window thread: the script waiting under `key`, no longer waiting; empty when none waits.
  std::string TakeLatestScript(const std::string& key);

 protected:
  // For windows that drop their queue without running it: what waited is forgotten too.
  void ForgetLatestScripts();

 private:
  std::mutex latestMutex_;
  std::unordered_map<std::string, std::string> latest_;
};

