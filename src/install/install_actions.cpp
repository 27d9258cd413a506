#include "install/install_actions.h"

#include "bridge/action_registry.h"

void RegisterInstallActions(ActionRegistry& actions) {
  actions.Add("doLaunchSetup", ActionRegistry::Reach::kOutside, &DoLaunchSetup);
  actions.Add("doUnZip", ActionRegistry::Reach::kOutside, &DoUnZip);
}
