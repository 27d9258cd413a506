#include <memory>
#include <string>

#include "base/page_results.h"
#include "bridge/action_context.h"
#include "bridge/bridge_actions.h"
#include "bridge/page_responder.h"

namespace {

std::string CompactText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void DoDataExchange(ActionContext& context, const nlohmann::json& message) {
  if (!context.HasWebView()) return;
  const std::string callbackId = message.value("callbackId", std::string());
  const std::string subAction = message.value("subAction", std::string());

  std::unique_ptr<nlohmann::json>& exchangeData = context.ExchangeData();
  CallbackPayload answer;
  answer.cbid = callbackId;
  if (subAction == "in") {
    auto stored = std::make_unique<nlohmann::json>(message);
    (*stored)["subAction"] = "";
    (*stored)["callbackId"] = "";
    exchangeData = std::move(stored);
    answer.message = CompactText(*exchangeData);
  } else if (subAction == "out") {
    if (exchangeData) {
      answer.message = CompactText(*exchangeData);
    } else {
      answer.message = "Nothing to exchange";
      answer.result = page_result::kNothingToExchange;
    }
  }
  context.Responder()->Complete(answer);
}
