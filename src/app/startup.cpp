#include "app/startup.h"

#include "app/app_context.h"
#include "app/setup_web_view.h"

int RunSingleInstance(InstanceLocks& locks, const std::function<int()>& runMainWindow) {
  if (locks.IsHeldElsewhere(kProbedInstanceLockName)) return kExitAlreadyRunning;
  if (!locks.Hold(kHeldInstanceLockName)) return kExitAlreadyRunning;
  return runMainWindow();
}

SetupWebView& StartHost(NativeWindow& window, WebViewEnvironment& environment) {
  // Lives until the process ends: workers may still reach it through g_setupWebView.
  auto* host = new SetupWebView(&window);
  g_setupWebView = host;
  host->Initialize(environment);
  return *host;
}
