#include "diag/issue_report_card.h"

using nlohmann::json;

std::string IssueReportTitle(const json& message) {
  if (message.is_object()) {
    const auto error = message.find("error");
    if (error != message.end() && error->is_object()) {
      return error->value("description", std::string(kIssueTitleWithoutDescription));
    }
  }
  return kIssueTitleWithoutError;
}

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string IssueReportCardText(const json& message) {
  return "<pre><code>" + EscapeHtml(message.dump(4)) + "</code></pre>";
}

std::string BuildIssueReportBody(const json& message) {
  const std::string text = IssueReportCardText(message);
  const std::string title = IssueReportTitle(message);
  const json card = {{"sections", json::array({{{"activityTitle", title}, {"text", text}}})},
                     {"summary", title}};
  return card.dump();
}
