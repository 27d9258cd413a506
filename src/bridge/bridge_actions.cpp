#include "bridge/bridge_actions.h"

#include "bridge/action_context.h"
#include "bridge/action_registry.h"

void RegisterBridgeActions(ActionRegistry& actions) {
  using Reach = ActionRegistry::Reach;
  actions.Add("doCancel", Reach::kInProcess, [](ActionContext& context, const nlohmann::json& m) {
    CancelWorkers(context, m.value("callbackId", std::string()));
  });
  actions.Add("doCleanUp", Reach::kInProcess, [](ActionContext& context, const nlohmann::json& m) {
    StartCleanUp(context, m.value("callbackId", std::string()));
  });
  actions.Add("doDataExchange", Reach::kInProcess, &DoDataExchange);
}
