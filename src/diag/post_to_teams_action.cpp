// postToTeams: the page's issue report, posted as a card; the page hears only "done".

#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "diag/diag_actions.h"
#include "diag/teams_notifier.h"
#include "log/logger.h"

void PostToTeams(ActionContext& context, const nlohmann::json& message) {
  // A type error from the card (a "description" that is no string) leaves here on purpose:
  // the dispatcher drops the message, so the page gets no answer and nothing is sent.
  IssueReportNotifier().PostIssueReport(message);
  Logger::Log(LogLevel::Info, "engine", "Posted message to Teams webhook");

  const auto id = message.find("callbackId");
  if (id == message.end() || !id->is_string() || id->get_ref<const std::string&>().empty()) {
    return;
  }
  CallbackPayload answer;
  answer.cbid = id->get<std::string>();
  context.Responder()->Complete(answer);
}
