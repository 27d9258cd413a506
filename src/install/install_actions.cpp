#include "install/install_actions.h"

#include <utility>

#include "bridge/action_registry.h"
#include "install/system_restart.h"

void RegisterInstallActions(ActionRegistry& actions, std::shared_ptr<SystemRestart> restart) {
  actions.Add("doLaunchSetup", ActionRegistry::Reach::kOutside, &DoLaunchSetup);
  actions.Add("doUnZip", ActionRegistry::Reach::kOutside, &DoUnZip);
  actions.Add("doFindProduct", ActionRegistry::Reach::kOutside, &DoFindProduct);
  actions.Add("doOpenProduct", ActionRegistry::Reach::kOutside, &DoOpenProduct);
  actions.Add(
      "doRestartSystem", ActionRegistry::Reach::kOutside,
      [restart = std::move(restart)](ActionContext& context, const nlohmann::json& message) {
        DoRestartSystem(context, message, restart);
      });
}
