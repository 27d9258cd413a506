#include "diag/issue_report_card.h"

#include <memory>
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

// Keeps the first `limit` bytes of what the serialiser writes and counts the rest. Indented,
// a message near the largest the host takes, nested near kMaxIssueDepth, would be about a
// hundred times its size: it is measured, never held.
class BoundedOutput : public nlohmann::detail::output_adapter_protocol<char> {
 public:
  BoundedOutput(std::string& kept, std::size_t limit) : kept_(kept), limit_(limit) {}
  void write_character(char c) override { write_characters(&c, 1); }
  void write_characters(const char* s, std::size_t length) override {
    const std::size_t room = limit_ - kept_.size();
    kept_.append(s, length < room ? length : room);
    written_ += length;
  }
  std::size_t Written() const { return written_; }

 private:
  std::string& kept_;
  std::size_t limit_;
  std::size_t written_ = 0;
};

// The message indented by 4, as the report has always shown it, cut to kMaxIssueTextBytes
// with the marker of log/bounded_text.h.
std::string IndentedAndCut(const json& message) {
  // One byte over the bound tells CutToLimit that the text goes on.
  std::string kept;
  auto output = std::make_shared<BoundedOutput>(kept, kMaxIssueTextBytes + 1);
  nlohmann::detail::serializer<json>(output, ' ', json::error_handler_t::replace)
      .dump(message, true, false, 4);
  if (output->Written() <= kMaxIssueTextBytes) return kept;
  // CutToLimit counts the bytes it saw: its marker (the last " [... " of its text) is written
  // again with the bytes of the whole text.
  const std::string cut = CutToLimit(kept, kMaxIssueTextBytes);
  const std::size_t keptBytes = cut.rfind(" [... ");
  return cut.substr(0, keptBytes) + " [... " + std::to_string(output->Written() - keptBytes) +
         " bytes cut]";
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
          : IndentedAndCut(message);
  return "<pre><code>" + EscapeHtml(shown) + "</code></pre>";
}

std::string BuildIssueReportBody(const json& message) {
  const std::string text = IssueReportCardText(message);
  const std::string title = EscapeHtml(CutToLimit(IssueReportTitle(message), kMaxIssueTitleBytes));
  const json card = {{"sections", json::array({{{"activityTitle", title}, {"text", text}}})},
                     {"summary", title}};
  return card.dump();
}
