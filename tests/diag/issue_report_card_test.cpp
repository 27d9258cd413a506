#include "diag/issue_report_card.h"

#include <gtest/gtest.h>

#include "log/bounded_text.h"

using nlohmann::json;

namespace {

TEST(IssueReportCardTest, TitleFollowsTheErrorMember) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"action":"postToTeams"})", "no error description found"},
      {R"({"error":{}})", "Downloader encountered an issue"},
      {R"({"error":{"code":5}})", "Downloader encountered an issue"},
      {R"({"error":"disk full"})", "no error description found"},
      {R"({"error":[{"description":"x"}]})", "no error description found"},
      {R"({"error":null})", "no error description found"},
      {R"({"error":{"description":""}})", ""},
      {R"({"error":{"description":"Disk full"}})", "Disk full"},
      {R"(["error"])", "no error description found"},
  };
  for (const auto& [message, title] : cases) {
    EXPECT_EQ(IssueReportTitle(json::parse(message)), title) << message;
  }
}

TEST(IssueReportCardTest, DescriptionThatIsNotAStringIsATypeError) {
  for (const char* message : {R"({"error":{"description":5}})", R"({"error":{"description":null}})",
                              R"({"error":{"description":{"text":"x"}}})"}) {
    EXPECT_THROW(BuildIssueReportBody(json::parse(message)), json::type_error) << message;
  }
}

TEST(IssueReportCardTest, BodyBytesAreExact) {
  const json message = json::parse(
      R"({"error":{"description":"Disk full","code":112},"callbackId":"c1","action":"postToTeams",)"
      R"("note":"caf\u00e9"})");
  EXPECT_EQ(BuildIssueReportBody(message),
            R"({"sections":[{"activityTitle":"Disk full","text":"<pre><code>{\n)"
            R"(    \"action\": \"postToTeams\",\n    \"callbackId\": \"c1\",\n)"
            R"(    \"error\": {\n        \"code\": 112,\n        \"description\": \"Disk full\"\n)"
            R"(    },\n    \"note\": \"caf)"
            "\xC3\xA9"
            R"(\"\n}</code></pre>"}],)"
            R"("summary":"Disk full"})");
}

// Indented, a wide report nested deep is many times its own size: it is cut at the bound all
// the same, and the marker names the bytes of the whole indented text.
TEST(IssueReportCardTest, AnIndentedReportKeepsItsBound) {
  json deep = json::array();
  for (int i = 0; i < 20000; ++i) deep.push_back(i);
  for (std::size_t i = 2; i < kMaxIssueDepth; ++i) deep = json::array({std::move(deep)});
  const std::string indented = deep.dump(4);
  ASSERT_GT(indented.size(), 100 * kMaxIssueTextBytes);
  EXPECT_EQ(IssueReportCardText(deep),
            "<pre><code>" + EscapeHtml(CutToLimit(indented, kMaxIssueTextBytes)) + "</code></pre>");
}

TEST(IssueReportCardTest, ReportCannotInjectMarkupIntoTheCard) {
  const json message =
      json::parse(R"({"error":{"description":"<b>x</b> & y"},"html":"</code><img>"})");
  const std::string text = IssueReportCardText(message);
  EXPECT_EQ(text.find("<b>"), std::string::npos);
  EXPECT_EQ(text.find("<img>"), std::string::npos);
  EXPECT_NE(text.find("&lt;b&gt;x&lt;/b&gt; &amp; y"), std::string::npos);
  EXPECT_NE(text.find("&lt;/code&gt;&lt;img&gt;"), std::string::npos);
  EXPECT_EQ(text.rfind("<pre><code>", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 13), "</code></pre>");
  EXPECT_EQ(EscapeHtml("a&amp;<>\"'"), "a&amp;amp;&lt;&gt;\"'");
}

// Indenting a 6,000-deep report took seconds and most of a gigabyte on the window thread.
TEST(IssueReportCardTest, ADeepReportIsNotWrittenOut) {
  nlohmann::json deep = nlohmann::json::array();
  for (int i = 0; i < 6000; ++i) deep = nlohmann::json::array({std::move(deep)});
  EXPECT_EQ(IssueReportCardText(deep),
            "<pre><code>(message nested deeper than 64 levels)</code></pre>");
}

}  // namespace
