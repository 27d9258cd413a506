#pragma once

// The real quillfetch.exe under Wine, started by a test as its Windows parent (which alone sees
// whole exit codes; `wine x.exe` passes only the low 8 bits), in a folder of the test's own.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_environment.h"

// The folder of the running test program, where the build puts the program, its page, the
// fake runtime (fake_runtime/) and the SDK's real loader (real_runtime/).
std::filesystem::path TestProgramFolder();

// Every log file of `folder`, concatenated.
std::string ReadLogs(const std::filesystem::path& folder);

// Unpacks the ZIP archive `zip` into `folder`; returns the entries' names (folders end in "/").
std::vector<std::string> Unzip(const std::filesystem::path& zip,
                               const std::filesystem::path& folder);

// Polls `done` every 20 ms until it holds or `timeoutMs` passes.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000);

// The program, started as a user who runs it without elevation would (Wine runs every process
// elevated; the program's elevated folders are tested in tests/base), unless `elevated`.
class Program {
 public:
  explicit Program(const std::filesystem::path& exe, bool elevated = false);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return started_; }
  // QueryPerformanceCounter just before the process was created.
  long long startTicks() const { return startTicks_; }

  // The exit code, or STILL_ACTIVE when it has not ended within `timeoutMs`.
  DWORD WaitForExit(DWORD timeoutMs = 30000) const;
  // The program's top-level window of `windowClass` (its main window unless told: "#32770" is
  // a message box), once it has one; null when it ended first or never showed.
  HWND WaitForWindow(int timeoutMs = 30000,
                     const wchar_t* windowClass = L"VelmoranteDownloaderWebView2") const;

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
  long long startTicks_ = 0;
};

// A copy of the program and its page in a temporary folder of its own (the build's, or the
// package `zip` unpacked), which is also its TMP (so its logs go there), beside the loader DLL
// given (none when empty), with the fake runtime's script and record in the same folder.
// VLM_IS_DEV is unset unless `devMode`.
class ProgramFolder {
 public:
  explicit ProgramFolder(const std::filesystem::path& loader, const nlohmann::json& script = {},
                         bool devMode = false, const std::filesystem::path& zip = {});

  const std::filesystem::path& path() const { return temp_.path(); }
  std::filesystem::path exe() const { return temp_.path() / "quillfetch.exe"; }
  std::string Logs() const { return ReadLogs(temp_.path() / "Velmorante" / "Logs"); }

  // The fake runtime's record as last written (an empty object before its first write).
  nlohmann::json Record() const;
  // The record's calls named `call`, in order.
  std::vector<nlohmann::json> Calls(const std::string& call) const;
  // The record's events named `event`, in order.
  std::vector<nlohmann::json> Events(const std::string& event) const;

 private:
  TemporaryFolder temp_;
  ScopedEnvironmentVariable tmp_;
  ScopedEnvironmentVariable script_;
  ScopedEnvironmentVariable record_;
  ScopedEnvironmentVariable dev_;
  ScopedEnvironmentVariable devAlias_;
};
