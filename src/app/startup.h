#pragma once

#include <functional>

class NativeWindow;
class SetupWebView;
class WebViewEnvironment;

// Process start, shared by every platform's entry point: the single-instance guard, then the
// window's host. The platform supplies the locks, the window and the web view environment.

// Names of the two single-instance locks. The first is only probed: another process holding
// it keeps this one from starting. The second is held for the life of the process.
inline constexpr char kProbedInstanceLockName[] =
    "velmoranSetup-aefbe7a3-20a3-40d5-87b1-d1f128cef144";
inline constexpr char kHeldInstanceLockName[] =
    "velmoranSetupESD-02c7dcb8-e644-4804-934d-5a442668112e";

// Exit codes of the process.
inline constexpr int kExitNormal = 0;       // the window was destroyed and the loop ended
inline constexpr int kExitStartFailed = 1;  // no window (or no windowing system)
inline constexpr int kExitAlreadyRunning = 183;

// The single-instance locks as start-up needs them. A lock that cannot be created or opened
// for another reason than "someone else has it" does not stop the start.
class InstanceLocks {
 public:
  virtual ~InstanceLocks() = default;
  // True when another process holds the lock `name`. Never keeps it.
  virtual bool IsHeldElsewhere(const char* name) = 0;
  // Takes `name` until this object is destroyed. False when another process holds it.
  virtual bool Hold(const char* name) = 0;
};

// Probes the first lock and takes the second (kExitAlreadyRunning when either is taken), then
// returns what `runMainWindow` returns. The held lock stays taken while it runs.
int RunSingleInstance(InstanceLocks& locks, const std::function<int()>& runMainWindow);

// With the window created: constructs the one SetupWebView for it (UI folder, Logger), which
// attaches itself to the window as its page, and starts the web view, which arrives later
// inside the message loop. The object is never destroyed.
SetupWebView& StartHost(NativeWindow& window, WebViewEnvironment& environment);
