// The page-to-host direction of the bridge: every page message arrives here, is parsed and
// handed to the one handler its action name selects.

#include "bridge/dispatcher.h"

#include <exception>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "bridge/action_registry.h"
#include "log/logger.h"

using nlohmann::json;

namespace {

void LogDropped(const std::string& reason) {
  Logger::Log(LogLevel::Warn, "engine", "Dropped page message: " + reason);
}

// Handlers copy and serialise messages recursively; a message nested deeper than this would
// exhaust the stack, so the parser refuses it before any handler sees it.
constexpr int kMaxMessageDepth = 64;

class MessageTooDeep : public std::runtime_error {
 public:
  MessageTooDeep()
      : std::runtime_error("nested deeper than " + std::to_string(kMaxMessageDepth) + " levels") {}
};

json ParseMessage(std::string_view text) {
  // `depth` counts the containers around the one that starts: the message object is at 0.
  const json::parser_callback_t refuseDeep = [](int depth, json::parse_event_t event, json&) {
    const bool opens =
        event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
    if (opens && depth >= kMaxMessageDepth) throw MessageTooDeep();
    return true;
  };
  return json::parse(text.begin(), text.end(), refuseDeep, /*allow_exceptions=*/true,
                     /*ignore_comments=*/false);
}

}  // namespace

void DispatchPageMessage(const ActionRegistry& actions, ActionContext& context,
                         std::string_view text) {
  // Nothing may escape to the web view: a malformed message, or a handler that throws, is
  // dropped here without an answer.
  try {
    if (text.size() > kMaxPageMessageBytes) {
      LogDropped("larger than " + std::to_string(kMaxPageMessageBytes) + " bytes");
      return;
    }
    const json message = ParseMessage(text);
    if (!message.is_object()) {
      LogDropped("not a JSON object");
      return;
    }
    if (message.contains("callbackId") && !message.at("callbackId").is_string()) {
      LogDropped("\"callbackId\" is not a string");
      return;
    }
    const std::string name = message.value("action", std::string());
    const ActionRegistry::Action* action = actions.Find(name);
    if (action == nullptr) return;
    action->run(context, message);
  } catch (const std::exception& e) {
    LogDropped(e.what());
  } catch (...) {
    LogDropped("unknown error");
  }
}
