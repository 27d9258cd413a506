#include <chrono>
#include <thread>

#include "base/utf8_path.h"
#include "support/page_scripts.h"
#include "support/test_environment.h"

HostHarness::HostHarness(bool webViewReady)
    : tmpdir_(kTempDirectoryVariable, PathToUtf8(temp.path())) {
  host = std::make_unique<SetupWebView>(&window, temp.path() / "UI");
  if (webViewReady) {
    auto view = std::make_unique<FakeWebView>();
    webView = view.get();
    host->OnWebViewReady(std::move(view));
  }
}

HostHarness::~HostHarness() {
  // Let a running clean-up finish before its host goes away.
  PumpUntil([this] { return !host->IsBusy(); }, 20000);
  window.Clear();
}

void HostHarness::Post(const std::string& json) {
  host->OnWebMessageReceived(json);
  window.PumpAll();
}

bool HostHarness::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    window.PumpAll();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::vector<PageCallback> HostHarness::Callbacks() const {
  if (webView == nullptr) return {};
  return ParseCallbackScripts(webView->scripts);
}

std::vector<PageCallback> HostHarness::Completions() const {
  std::vector<PageCallback> completions;
  for (PageCallback& c : Callbacks()) {
    if (c.function == "onActionComplete") completions.push_back(std::move(c));
  }
  return completions;
}
