#include "app/startup.h"

#include <chrono>

#include "app/setup_web_view.h"
#include "base/work_in_flight.h"
#include "diag/diag_actions.h"
#include "download/kept_downloads.h"
#include "log/logger.h"

namespace {
// How long the end of the process waits for issue reports still being posted: enough for a
// webhook that answers, not the minutes a route that drops packets can take.
constexpr std::chrono::seconds kIssueReportGrace{15};
}  // namespace

int RunSingleInstance(InstanceLocks& locks, const std::function<int()>& runMainWindow) {
  if (locks.IsHeldElsewhere(kProbedInstanceLockName)) return kExitAlreadyRunning;
  if (!locks.Hold(kHeldInstanceLockName)) return kExitAlreadyRunning;
  const int code = runMainWindow();
  if (!IssueReportsInFlight().WaitUntilIdle(kIssueReportGrace)) {
    Logger::Log(LogLevel::Warn, "engine",
                "An issue report was still being sent when the program ended");
  }
  return code;
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
