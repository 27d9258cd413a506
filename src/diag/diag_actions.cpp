#include "diag/diag_actions.h"

#include "bridge/action_registry.h"

void RegisterDiagActions(ActionRegistry& actions) {
  actions.Add("doGetSysInfo", ActionRegistry::Reach::kInProcess, &DoGetSysInfo);
  actions.Add("doGetFreeSpace", ActionRegistry::Reach::kInProcess, &DoGetFreeSpace);
  actions.Add("postToTeams", ActionRegistry::Reach::kOutside, &PostToTeams);
}
