#include "app/startup.h"

#include "app/setup_web_view.h"
#include "download/kept_downloads.h"

int RunSingleInstance(InstanceLocks& locks, const std::function<int()>& runMainWindow) {
  if (locks.IsHeldElsewhere(kProbedInstanceLockName)) return kExitAlreadyRunning;
  if (!locks.Hold(kHeldInstanceLockName)) return kExitAlreadyRunning;
  return runMainWindow();
}

SetupWebView& StartHost(NativeWindow& window, WebViewEnvironment& environment) {
  // Kept bytes of downloads never asked for again must not wait for a download to be pruned:
  // this instance holds the lock, so no other one is taking from the store meanwhile.
  PruneKeptDownloads();
  // Lives until the process ends, as the window does: the window procedure reaches it as the
  // window's page.
  auto* host = new SetupWebView(&window);
  host->Initialize(environment);
  return *host;
}
