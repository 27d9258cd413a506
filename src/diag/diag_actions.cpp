#include "diag/diag_actions.h"

#include "bridge/action_registry.h"

void RegisterDiagActions(ActionRegistry& actions) {
  actions.Add("doGetSysInfo", ActionRegistry::Reach::kInProcess, &DoGetSysInfo);
  actions.Add("postToTeams", ActionRegistry::Reach::kOutside, &PostToTeams);
}
