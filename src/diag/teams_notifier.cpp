#include "diag/teams_notifier.h"

#include "diag/issue_report_card.h"
#include "log/logger.h"

namespace {

constexpr char kHttpCategory[] = "Engine.Http";

std::optional<TeamsNotifier>& Replacement() {
  static std::optional<TeamsNotifier> replacement;
  return replacement;
}

}  // namespace

TeamsNotifier::TeamsNotifier(WebhookEndpoint endpoint, HttpTimeouts timeouts)
    : endpoint_(std::move(endpoint)), timeouts_(timeouts) {}

void TeamsNotifier::PostIssueReport(const nlohmann::json& message) const {
  SendIssueReport(PrepareIssueReport(message));
}

std::string TeamsNotifier::PrepareIssueReport(const nlohmann::json& message) const {
  std::string body = BuildIssueReportBody(message);
  Logger::Log(LogLevel::Debug, kHttpCategory, "Teams request body: " + body);
  return body;
}

void TeamsNotifier::SendIssueReport(const std::string& body) const {
  if (!endpoint_.IsConfigured()) {
    Logger::Log(LogLevel::Info, kHttpCategory,
                "Teams webhook not configured in this build; message not sent");
    return;
  }
  const std::optional<std::string> answer = PostJsonToWebhook(endpoint_, body, timeouts_);
  if (answer && !answer->empty()) {
    // The answer is logged as text, up to its first zero byte.
    const std::string text = answer->substr(0, answer->find('\0'));
    Logger::Log(LogLevel::Debug, kHttpCategory, "Teams response: " + text);
  }
}

TeamsNotifier IssueReportNotifier() {
  if (Replacement()) return *Replacement();
  std::optional<WebhookEndpoint> endpoint = ParseWebhookUrl(ConfiguredWebhookUrl());
  if (!endpoint) endpoint = ParseWebhookUrl("");
  return TeamsNotifier(*endpoint);
}

void SetIssueReportNotifierForTesting(std::optional<TeamsNotifier> replacement) {
  Replacement() = std::move(replacement);
}
