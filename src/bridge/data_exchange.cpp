#include "app/setup_web_view.h"
#include "bridge/page_callbacks.h"

namespace {

constexpr uint32_t kNothingToExchange = 0xFFFFFFFF;  // -1 on the wire

std::string CompactText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

// Keeps one JSON value for the page across page loads: "in" stores the whole message (with
// "subAction" and "callbackId" blanked), "out" fetches it.
void SetupWebView::DoDataExchange(const nlohmann::json& message) {
  if (m_webView == nullptr) return;
  const std::string callbackId = message.value("callbackId", std::string());
  const std::string subAction = message.value("subAction", std::string());

  CallbackPayload answer;
  answer.cbid = callbackId;
  if (subAction == "in") {
    auto stored = std::make_unique<nlohmann::json>(message);
    (*stored)["subAction"] = "";
    (*stored)["callbackId"] = "";
    m_exchangeData = std::move(stored);
    answer.message = CompactText(*m_exchangeData);
  } else if (subAction == "out") {
    if (m_exchangeData) {
      answer.message = CompactText(*m_exchangeData);
    } else {
      answer.message = "Nothing to exchange";
      answer.result = kNothingToExchange;
    }
  }
  PostActionComplete(answer);
}
