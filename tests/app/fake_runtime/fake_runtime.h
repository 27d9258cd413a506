#pragma once

// The state of the fake web view runtime that tests build as WebView2Loader.dll and put beside
// a copy of the program. It records what the host asks of it to the JSON file named by
// VLM_FAKE_WEBVIEW_RECORD (rewritten after every entry, so a test can poll it while the program
// runs) and plays the page described by the JSON file named by VLM_FAKE_WEBVIEW_SCRIPT.
// Whatever it hands back arrives later, from the host's own message loop, as the real runtime's
// completions and events do: never inside the call that asked for it.
//
// Script: {"environment": "ready" | "fail-at-once" | "fail-later" | "no-controller" |
//                         "no-webview3",
//          "onPageLoaded": [step...],
//          "onScript": [{"contains": text, "steps": [step...]}...]}
// A step: {"post": value, "source": url}  the page posts `value` (source: the start page)
//         {"navigate": url, "frame": bool} the page (or a frame) navigates; the host may cancel
//         {"newWindow": url, "userInitiated": bool}  the page asks for a new window
//         {"processFailed": kind}          a runtime process fails
// Record: {"calls": [{"call": name, ...}...], "events": [{"event": name, ...}...],
//          (the environment call also names the WEBVIEW2_* variables set when the DLL was
//          loaded, "runtimeVariables", and the file it was loaded from, "loadedFrom")
//          "unexpected": [...], "offThread": n, "firstMessageTicks": QueryPerformanceCounter}

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

class FakeRuntime {
 public:
  static FakeRuntime& Get();

  // Reads the script and makes the message window on the calling thread, the host's window
  // thread, whose message loop then runs every later task. Once per process.
  void Start();

  const nlohmann::json& Script() const { return script_; }
  std::string EnvironmentMode() const;

  // What the host asked: a call from another thread than the window thread is counted too.
  void RecordCall(nlohmann::json call);
  // What the fake page or runtime did.
  void RecordEvent(nlohmann::json event);
  void RecordUnexpected(const char* interfaceName, size_t slot);
  void MarkFirstMessage();

  // Runs `task` later from the window thread's message loop, after every task queued before.
  void Later(std::function<void()> task);
  void RunNextTask();

 private:
  FakeRuntime() = default;
  void Save() const;
  void CheckThread();

  nlohmann::json script_ = nlohmann::json::object();
  nlohmann::json record_ = {{"calls", nlohmann::json::array()},
                            {"events", nlohmann::json::array()},
                            {"unexpected", nlohmann::json::array()},
                            {"offThread", 0}};
  std::wstring recordPath_;
  void* window_ = nullptr;
  unsigned long windowThread_ = 0;
  bool started_ = false;
};
