#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

// The main window as the portable code needs it. One backend per platform (GTK on Linux,
// Win32 on Windows) and a fake for tests.
//
// Threading: Post, Show, IsVisible and PostWorkProgress may be called from any thread (workers
// show the window again when they complete). Everything else runs on the window thread.
// Posted scripts of series waiting for the window thread before a series keeps only its newest.
inline constexpr size_t kLatestScriptBacklog = 1000;

// The page a window shows, as its window procedure needs it (main_window_proc.h). The host
// that owns the web view implements it and attaches itself to its window for its lifetime.
// Window thread only.
class WindowPage {
 public:
  virtual ~WindowPage() = default;
  // True when a page is loaded and alive, so that it can answer the close request.
  virtual bool CanAnswer() const = 0;
  // Runs `script` in the page; dropped while there is no web view.
  virtual void RunScript(const std::string& script) = 0;
};

class NativeWindow {
 public:
  virtual ~NativeWindow() = default;

  // The page the window procedure hands scripts and close requests to; null while none is
  // attached (before the host exists: the close button then destroys the window). Window
  // thread only; an attached page detaches itself before it goes away.
  void AttachPage(WindowPage* page) { page_ = page; }
  void DetachPage(WindowPage* page) {
    if (page_ == page) page_ = nullptr;
  }
  WindowPage* page() const { return page_; }

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

  // The window's name, which the title bar, the taskbar, the window switcher and screen readers
  // show: the page's document title, UTF-8.
  virtual void SetTitle(const std::string& title) = 0;
  // The running action's share done (0 to 1) on the window's taskbar button where the desktop
  // has one; nullopt takes it away.
  virtual void ShowWorkProgress(std::optional<double> fraction) = 0;
  // Asks for the user's attention (a flashing taskbar button, an urgent window) while the
  // window is not the one in front; nothing while it is.
  virtual void RequestAttention() = 0;

  // Queues `fraction` for ShowWorkProgress on the window thread. At most one such message waits
  // at a time: a newer figure replaces the one waiting, so a busy window thread takes only the
  // latest. Any thread. False when the window no longer takes messages.
  bool PostWorkProgress(std::optional<double> fraction);
  // Window thread, for a WM_WORK_PROGRESS: the latest figure posted.
  std::optional<double> TakeWorkProgress();

  // Queues `script` as the newest of a series under `key` (an action's progress). Each is
  // posted as it comes while the window keeps up; once kLatestScriptBacklog of them wait for
  // the window thread (a thread busy waiting for a setup), a series keeps one waiting script
  // that newer ones replace, so the queue stops growing: past the limit of posted messages a
  // thread may hold (10,000 on Windows) posting fails, and a completion posted then would be
  // lost. Order within a series is kept. Any thread. False when the window no longer takes
  // messages.
  bool PostLatestScript(const std::string& key, std::string script);

  // Window thread, for a WM_RUN_SCRIPT of a series (lParam kLatestScriptKey or kCountedScript)
  // with the string it carried: the script to run, or nullopt when it already ran.
  std::optional<std::string> TakeSeriesScript(std::string carried, intptr_t lParam);

 protected:
  // For windows that drop their queue without running it: what waited is forgotten too.
  void ForgetLatestScripts();

 private:
  std::mutex latestMutex_;
  std::unordered_map<std::string, std::string> latest_;
  size_t waiting_ = 0;  // posted scripts of series that the window thread has not taken
  std::optional<double> workProgress_;  // guarded by latestMutex_
  bool workProgressQueued_ = false;     // guarded by latestMutex_
  WindowPage* page_ = nullptr;
};
