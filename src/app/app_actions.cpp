#include "app/app_actions.h"

#include "app/setup_web_view.h"
#include "bridge/action_registry.h"
#include "bridge/bridge_actions.h"
#include "diag/diag_actions.h"
#include "diag/log_actions.h"
#include "download/download_actions.h"
#include "install/install_actions.h"
#include "install/system_restart.h"

void RegisterWindowActions(ActionRegistry& actions, SetupWebView& host) {
  using Reach = ActionRegistry::Reach;
  actions.Add("doClose", Reach::kInProcess,
              [&host](ActionContext&, const nlohmann::json&) { host.Close(); });
  actions.Add("doCloseOverride", Reach::kInProcess,
              [&host](ActionContext&, const nlohmann::json&) { host.CloseOverride(); });
  actions.Add("doMinimizeWnd", Reach::kInProcess,
              [&host](ActionContext&, const nlohmann::json&) { host.Minimize(); });
  actions.Add("OpenDevToolsWindow", Reach::kInProcess,
              [&host](ActionContext&, const nlohmann::json&) { host.OpenDevTools(); });
}

void RegisterAllActions(ActionRegistry& actions, SetupWebView& host) {
  RegisterBridgeActions(actions);
  RegisterWindowActions(actions, host);
  RegisterDownloadActions(actions);
  RegisterInstallActions(actions, MakeSystemRestart());
  RegisterDiagActions(actions);
  RegisterLogActions(actions);
}
