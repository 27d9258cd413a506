// doGetSysInfo: a fresh machine snapshot for the page, answered whatever the callback id.

#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "diag/diag_actions.h"
#include "diag/system_info.h"
#include "log/logger.h"

void DoGetSysInfo(ActionContext& context, const nlohmann::json& message) {
  const std::string callbackId = message.value("callbackId", std::string());
  CallbackPayload answer;
  answer.cbid = callbackId;
  answer.message = SerializeSystemInfo(BuildSystemInfo(ProbeSystemFacts(context.UiFolder())));
  context.Responder()->Complete(answer);
  Logger::Log(LogLevel::Debug, "engine",
              "SysInfo provided to UI (contains sensitive machine ID, IP address)");
}
