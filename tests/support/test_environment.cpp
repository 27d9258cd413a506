#include "support/test_environment.h"

#include <stdlib.h>

#include <chrono>
#include <thread>

#include "support/page_scripts.h"

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     std::optional<std::string> value)
    : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vlm-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ec);
}

HostHarness::HostHarness(bool webViewReady)
    : savedApp_(g_app), savedHost_(g_setupWebView), tmpdir_("TMPDIR", std::nullopt) {
  setenv("TMPDIR", temp.path().c_str(), 1);
  app.hwnd = &window;
  g_app = &app;
  host = std::make_unique<SetupWebView>(&window, temp.path() / "UI");
  g_setupWebView = host.get();
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
  g_setupWebView = savedHost_;
  g_app = savedApp_;
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
