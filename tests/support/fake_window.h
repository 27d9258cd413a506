#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/native_window.h"

// A main window for tests: posts queue up (from any thread) until the test pumps them through
// MainWindowProc on its own thread, as the message loop would.
class FakeWindow : public NativeWindow {
 public:
  struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
  };

  ~FakeWindow() override;

  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  // Answers false (each message alone) unless the test called TakeQueuedMessages().
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

  // Hands every queued message (and those that handling posts) to MainWindowProc, in order.
  // Returns how many were handled.
  size_t PumpAll();
  // Hands over at most one message; false when the queue was empty.
  bool PumpOne();

  // From now on hands the head of the queue to the window procedure as the real windows do, so
  // bursts of queued scripts run in one evaluation.
  void TakeQueuedMessages();

  // Queued messages without handling them (scripts stay owned by the queue).
  std::vector<Message> Pending() const;
  // Drops the queue, freeing queued scripts.
  void Clear();

  // After Destroy, posts are refused like those to a destroyed window.
  bool destroyed() const;
  int quitCode() const;  // -1 until PostQuit
  // "show", "hide", "minimize", "post:<message number>", "title:<title>",
  // "progress:<per mille>" or "progress:none", and "attention", in the order they happened.
  std::vector<std::string> Events() const;

 private:
  mutable std::mutex mutex_;
  std::deque<Message> queue_;
  std::vector<std::string> events_;
  bool visible_ = true;
  bool minimized_ = false;
  bool destroyed_ = false;
  bool takeQueued_ = false;
  int quitCode_ = -1;
};
