#include "diag/issue_report_card.h"

#include <utility>
#include <vector>

#include "log/bounded_text.h"

using nlohmann::json;

namespace {

// Walks with a list of its own rather than the call stack, so any depth can be measured.
bool NestedDeeperThan(const json& value, std::size_t limit) {
  std::vector<std::pair<const json*, std::size_t>> pending = {{&value, 1}};
  while (!pending.empty()) {
    const auto [current, depth] = pending.back();
    pending.pop_back();
    if (!current->is_structured()) continue;
    if (depth > limit) return true;
    for (const json& child : *current) pending.emplace_back(&child, depth + 1);
  }
  return false;
}

}  // namespace

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
  // Serialising recurses once per level: a deeper message is not written out at all.
  const std::string shown =
      NestedDeeperThan(message, kMaxIssueDepth)
          ? "(message nested deeper than " + std::to_string(kMaxIssueDepth) + " levels)"
          : CutToLimit(message.dump(-1, ' ', false, json::error_handler_t::replace),
                       kMaxIssueTextBytes);
  return "<pre><code>" + EscapeHtml(shown) + "</code></pre>";
}

std::string BuildIssueReportBody(const json& message) {
  const std::string text = IssueReportCardText(message);
  const std::string title = EscapeHtml(CutToLimit(IssueReportTitle(message), kMaxIssueTitleBytes));
  const json card = {{"sections", json::array({{{"activityTitle", title}, {"text", text}}})},
                     {"summary", title}};
  return card.dump();
}
