// doRestartSystem: a setup that needs a restart (3010 or 1641) gets one when the user says so.

#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "base/detached_thread.h"
#include "base/page_results.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "install/install_actions.h"
#include "install/system_restart.h"
#include "log/logger.h"

namespace {
constexpr char kCategory[] = "Engine.AppLauncher";
}  // namespace

void DoRestartSystem(ActionContext& context, const nlohmann::json& message,
                     std::shared_ptr<SystemRestart> restart) {
  CallbackPayload answer;
  answer.cbid = message.value("callbackId", std::string());
  // A restart now would end a download or an extraction half way.
  if (context.IsBusy()) {
    answer.result = page_result::kBusy;
    answer.message = "A download, an extraction or a clean-up is still running";
    Logger::Log(LogLevel::Warn, kCategory, "Restart refused: " + answer.message);
    context.Responder()->Complete(answer);
    return;
  }
  // Only the restart that a setup of this run asked for, and only once: a page cannot restart
  // the computer whenever it likes.
  SetupOutcomes& setups = context.Setups();
  if (!setups.restartWanted || setups.restartRequested) {
    answer.result = page_result::kRestartNotAsked;
    answer.message = setups.restartRequested ? "The restart was asked of the system already"
                                             : "No setup of this run asked for a restart";
    Logger::Log(LogLevel::Warn, kCategory, "Restart refused: " + answer.message);
    context.Responder()->Complete(answer);
    return;
  }
  setups.restartRequested = true;
  Logger::Log(LogLevel::Info, kCategory, "Asking the system to restart");
  // The system may ask the user to confirm first, for as long as the user takes: the window
  // thread does not wait for that.
  std::shared_ptr<PageResponder> responder = context.Responder();
  try {
    StartDetachedThread([answer, responder, restart = std::move(restart)]() mutable {
      std::string detail;
      answer.result = restart->Request(detail);
      if (answer.result != 0) {
        answer.message = "The system did not restart: " + detail;
        Logger::Log(LogLevel::Error, kCategory,
                    answer.message + " error=" + std::to_string(answer.result));
      }
      responder->Complete(answer);
    });
  } catch (const std::system_error& e) {
    answer.result = page_result::kGenFailure;
    answer.message = std::string("The restart could not be asked for: ") + e.what();
    Logger::Log(LogLevel::Error, kCategory, answer.message);
    responder->Complete(answer);
  }
}
