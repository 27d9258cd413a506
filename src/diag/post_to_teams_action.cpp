// postToTeams: the page's issue report, posted as a card; the page hears only "done".

#include <memory>

#include "base/detached_thread.h"
#include "base/work_in_flight.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "diag/diag_actions.h"
#include "diag/teams_notifier.h"
#include "log/logger.h"

WorkInFlight& IssueReportsInFlight() {
  static WorkInFlight reports;
  return reports;
}

void PostToTeams(ActionContext& context, const nlohmann::json& message) {
  // A type error from the card (a "description" that is no string) leaves here on purpose:
  // the dispatcher drops the message, so the page gets no answer and nothing is sent.
  const TeamsNotifier notifier = IssueReportNotifier();
  std::string body = notifier.PrepareIssueReport(message);

  std::optional<CallbackPayload> answer;
  const auto id = message.find("callbackId");
  if (id != message.end() && id->is_string() && !id->get_ref<const std::string&>().empty()) {
    answer.emplace();
    answer->cbid = id->get<std::string>();
  }
  // The post may take minutes (a direct route that hangs, a configuration script, then the
  // proxies): on a worker, so the window keeps answering meanwhile. The worker shares the
  // responder, which drops the answer if the window went away first.
  std::shared_ptr<PageResponder> responder = context.Responder();
  auto inFlight = std::make_shared<WorkInFlight::Scope>(IssueReportsInFlight().Begin());
  StartDetachedThread([notifier, body = std::move(body), answer, responder, inFlight] {
    notifier.SendIssueReport(body);
    Logger::Log(LogLevel::Info, "engine", "Posted message to Teams webhook");
    if (answer) responder->Complete(*answer);
  });
}
