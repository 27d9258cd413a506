#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "diag/webhook_endpoint.h"
#include "diag/webhook_post.h"

// Posts issue reports to a chat webhook as connector cards (see issue_report_card.h).
// Synchronous: PostIssueReport and SendIssueReport return when the post has ended, at the latest
// after the time-outs (callers that must not wait run them on a worker). What happened to the
// post shows only in the log ("Engine.Http" lines). A copy may be used from any thread.
class TeamsNotifier {
 public:
  explicit TeamsNotifier(WebhookEndpoint endpoint, HttpTimeouts timeouts = {});

  // Builds the card from the whole message, logs the body (DEBUG), posts it and logs the
  // first block of the answer (DEBUG). With an unconfigured endpoint nothing is sent (one INFO
  // line says so). A "description" that is not a string throws nlohmann::json::type_error
  // before anything is logged or sent.
  void PostIssueReport(const nlohmann::json& message) const;

  // PostIssueReport in its two steps: the card's body built and logged (this throws as
  // PostIssueReport does), then sent.
  std::string PrepareIssueReport(const nlohmann::json& message) const;
  void SendIssueReport(const std::string& body) const;

  const WebhookEndpoint& endpoint() const { return endpoint_; }

 private:
  WebhookEndpoint endpoint_;
  HttpTimeouts timeouts_;
};

// The notifier the postToTeams action uses: the build's VLM_WEBHOOK_URL (an unparsable one
// counts as unconfigured) with the standard time-outs.
TeamsNotifier IssueReportNotifier();

// Makes IssueReportNotifier return `replacement` instead (nullopt restores the build's), so
// that tests can point the action at a local server. Window thread only.
void SetIssueReportNotifierForTesting(std::optional<TeamsNotifier> replacement);
