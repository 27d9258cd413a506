// The page's access to the Logger: doWriteLog writes a line, doGetLogData reads recent ones.

#include "diag/log_actions.h"

#include <exception>

#include "base/page_results.h"
#include "bridge/action_context.h"
#include "bridge/action_registry.h"
#include "bridge/integer_member.h"
#include "bridge/page_responder.h"
#include "log/logger.h"

using nlohmann::json;

namespace {

LogLevel LevelFromText(const std::string& text) {
  if (text == "DEBUG") return LogLevel::Debug;
  if (text == "WARN") return LogLevel::Warn;
  if (text == "ERROR") return LogLevel::Error;
  if (text == "FATAL") return LogLevel::Fatal;
  return LogLevel::Info;
}

void Answer(ActionContext& context, const std::string& callbackId, uint32_t result,
            std::string message) {
  CallbackPayload answer;
  answer.cbid = callbackId;
  answer.result = result;
  answer.message = std::move(message);
  context.Responder()->Complete(answer);
}

}  // namespace

void DoWriteLog(ActionContext& context, const json& message) {
  try {
    const std::string level = message.value("level", std::string("INFO"));
    const std::string category = message.value("category", std::string("UI"));
    const std::string text = message.value("message", std::string());
    const std::string function = message.value("function", std::string());
    const std::string file = message.value("file", std::string());
    const int32_t line = IntegerMember(message, "line", int32_t{0});
    const std::string callbackId = message.value("callbackId", std::string());

    if (text.empty()) {
      if (!callbackId.empty()) {
        Answer(context, callbackId, page_result::kInvalidParameter, "Log message cannot be empty");
      }
      return;
    }
    if (!function.empty() && !file.empty() && line != 0) {
      Logger::LogWithSource(LevelFromText(level), category, text, function, file, line);
    } else {
      Logger::Log(LevelFromText(level), category, text);
    }
    if (!callbackId.empty()) Answer(context, callbackId, 0, std::string());
  } catch (const std::exception& e) {
    // A "callbackId" of the wrong type throws again here; the dispatcher drops the message.
    const std::string callbackId = message.value("callbackId", std::string());
    if (!callbackId.empty())
      Answer(context, callbackId, page_result::kLoggingError,
             std::string("Logging error: ") + e.what());
  }
}

void DoGetLogData(ActionContext& context, const json& message) {
  try {
    const int32_t maxEntries = IntegerMember(message, "maxEntries", int32_t{100});
    const bool includeDebug = message.value("includeDebug", false);
    const std::string callbackId = message.value("callbackId", std::string());

    // Sign-extended: a negative bound asks for everything.
    const auto bound = static_cast<uint64_t>(static_cast<int64_t>(maxEntries));
    json entries = json::array();
    for (const LogEntry& entry : Logger::GetRecentEntries(bound, includeDebug)) {
      entries.push_back({{"category", entry.category},
                         {"file", entry.file},
                         {"function", entry.function},
                         {"level", entry.level},
                         {"line", entry.line},
                         {"message", entry.message},
                         {"timestamp", entry.timestamp}});
    }
    const json answer = {{"logData", entries.dump()}, {"success", true}};
    Answer(context, callbackId, 0, answer.dump());
  } catch (const std::exception& e) {
    const std::string callbackId = message.value("callbackId", std::string());
    const json error = {{"error", e.what()}, {"success", false}};
    Answer(context, callbackId, page_result::kLoggingError, error.dump());
  }
}

void RegisterLogActions(ActionRegistry& actions) {
  actions.Add("doWriteLog", ActionRegistry::Reach::kInProcess, &DoWriteLog);
  actions.Add("doGetLogData", ActionRegistry::Reach::kInProcess, &DoGetLogData);
}
