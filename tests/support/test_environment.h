#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/setup_web_view.h"
#include "bridge/page_responder.h"
#include "support/fake_web_view.h"
#include "support/fake_window.h"
#include "support/page_scripts.h"

// The variable that names the temporary folder on this platform (TempDirectory() reads it):
// TMPDIR on Linux, TMP on Windows.
extern const char* const kTempDirectoryVariable;

// Sets (or, with nullopt, removes) a variable of this process's environment as the platform's
// own readers see it.
void SetProcessEnvironmentVariable(const std::string& name,
                                   const std::optional<std::string>& value);

// Sets an environment variable for the lifetime of the object and restores it afterwards.
class ScopedEnvironmentVariable {
 public:
  // nullopt unsets the variable.
  ScopedEnvironmentVariable(std::string name, std::optional<std::string> value);
  ~ScopedEnvironmentVariable();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Makes the process count as elevated or not (base/elevation.h) for the lifetime of the object.
// Under Wine every process counts as elevated; tests of the host pin the answer so that working
// folders land in the temporary folder they choose.
class ScopedElevation {
 public:
  explicit ScopedElevation(bool elevated);
  ~ScopedElevation();
  ScopedElevation(const ScopedElevation&) = delete;
  ScopedElevation& operator=(const ScopedElevation&) = delete;
};

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TemporaryFolder {
 public:
  TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The host as the page sees it, with fakes at the seams: a FakeWindow with a SetupWebView as its
// page and a ready FakeWebView, and the temporary folder pointed at a folder of its own, used as
// the working root (the process counts as not elevated).
class HostHarness {
 public:
  explicit HostHarness(bool webViewReady = true);
  ~HostHarness();

  // Posts `json` from the page, then pumps the window until its queue is empty.
  void Post(const std::string& json);
  // Pumps the window until `done` holds or `timeoutMs` passes (for answers from workers).
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
  // The callbacks the page has received so far, decoded.
  std::vector<PageCallback> Callbacks() const;
  std::vector<PageCallback> Completions() const;

  // The host's responder, as workers and tests post through it.
  PageResponder& responder() { return *host->Responder(); }

  FakeWindow window;
  TemporaryFolder temp;
  std::unique_ptr<SetupWebView> host;
  FakeWebView* webView = nullptr;  // owned by host; null when not ready

 private:
  ScopedEnvironmentVariable tmpdir_;
  ScopedElevation notElevated_{false};
};
