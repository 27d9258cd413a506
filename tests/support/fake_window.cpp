#include "support/fake_window.h"

#include <cmath>

#include "app/main_window_proc.h"
#include "app/window_messages.h"

FakeWindow::~FakeWindow() {
  Clear();
}

bool FakeWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (destroyed_) return false;
  queue_.push_back({message, wParam, lParam});
  events_.push_back("post:" + std::to_string(message));
  return true;
}

bool FakeWindow::TakeQueued(uint32_t message, uintptr_t& wParam, intptr_t& lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!takeQueued_ || queue_.empty() || queue_.front().message != message) return false;
  wParam = queue_.front().wParam;
  lParam = queue_.front().lParam;
  queue_.pop_front();
  return true;
}

void FakeWindow::TakeQueuedMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  takeQueued_ = true;
}

void FakeWindow::Show() {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = true;
  minimized_ = false;
  events_.push_back("show");
}

void FakeWindow::Hide() {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = false;
  events_.push_back("hide");
}

void FakeWindow::ShowMinimized() {
  std::lock_guard<std::mutex> lock(mutex_);
  minimized_ = true;
  events_.push_back("minimize");
}

bool FakeWindow::IsVisible() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return visible_;
}

void FakeWindow::Destroy() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (destroyed_) return;
    destroyed_ = true;
  }
  MainWindowProc(*this, WM_DESTROY, 0, 0);
}

void FakeWindow::PostQuit(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  quitCode_ = exitCode;
}

void FakeWindow::SetTitle(const std::string& title) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back("title:" + title);
}

void FakeWindow::ShowWorkProgress(std::optional<double> fraction) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(fraction ? "progress:" + std::to_string(std::lround(*fraction * 1000))
                             : std::string("progress:none"));
}

void FakeWindow::RequestAttention() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back("attention");
}

bool FakeWindow::PumpOne() {
  Message next;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return false;
    next = queue_.front();
    queue_.pop_front();
  }
  MainWindowProc(*this, next.message, next.wParam, next.lParam);
  return true;
}

size_t FakeWindow::PumpAll() {
  size_t handled = 0;
  while (PumpOne()) ++handled;
  return handled;
}

std::vector<FakeWindow::Message> FakeWindow::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {queue_.begin(), queue_.end()};
}

void FakeWindow::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Message& m : queue_) {
    if (m.message == WM_RUN_SCRIPT) delete reinterpret_cast<std::string*>(m.wParam);
  }
  queue_.clear();
  ForgetLatestScripts();
}

bool FakeWindow::destroyed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return destroyed_;
}

int FakeWindow::quitCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quitCode_;
}

std::vector<std::string> FakeWindow::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}
