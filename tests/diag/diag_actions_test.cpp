#include <gtest/gtest.h>

#include <optional>

#include "base/free_space.h"
#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "diag/local_http_server.h"
#include "diag/teams_notifier.h"
#include "diag/webhook_endpoint.h"
#include "support/logger_fixture.h"

using nlohmann::json;

namespace {

class DiagActionsTest : public LoggerFixture {
 protected:
  void TearDown() override {
    SetIssueReportNotifierForTesting(std::nullopt);
    LoggerFixture::TearDown();
  }
  void PointReportsAt(const std::string& url) {
    SetIssueReportNotifierForTesting(TeamsNotifier(ParseWebhookUrl(url).value()));
  }
  // Reports are posted from a worker: waits until `count` of them have ended and `answers`
  // answers have reached the page.
  void WaitForPosts(size_t count, size_t answers = 0) {
    h.PumpUntil([&] {
      return EntriesAt("INFO", "Posted message to Teams webhook").size() >= count &&
             h.Completions().size() >= answers;
    });
  }

  HostHarness h;
};

// The room where the download and the extraction will go, as the page shows it before a start.
TEST_F(DiagActionsTest, FreeSpaceIsTheRoomOfTheWorkingRoot) {
  h.Post(R"({"action":"doGetFreeSpace","callbackId":"f"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].payload["cbid"], "f");
  ASSERT_EQ(answers[0].payload["result"], 0);
  const json space = json::parse(answers[0].payload["message"].get<std::string>());
  EXPECT_EQ(space["folder"], NativePathToUtf8(TempDirectory()));
  const std::optional<uint64_t> expected = AvailableSpace(TempDirectory());
  ASSERT_TRUE(expected.has_value());
  // Other tests write meanwhile: the same volume's figure, not the same byte count.
  EXPECT_NEAR(static_cast<double>(space["free"].get<uint64_t>()), static_cast<double>(*expected),
              1e9);
}

TEST_F(DiagActionsTest, SysInfoAnswersEveryRequestWithTheWholeObject) {
  ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "warn");
  h.Post(R"({"action":"doGetSysInfo","callbackId":"s1"})");
  h.Post(R"({"action":"doGetSysInfo","callbackId":""})");
  h.Post(R"({"action":"doGetSysInfo"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].payload["cbid"], "s1");
  EXPECT_EQ(answers[1].payload["cbid"], "");
  EXPECT_EQ(answers[2].payload["cbid"], "");
  for (const auto& answer : answers) {
    EXPECT_EQ(answer.payload["result"], 0);
    EXPECT_EQ(answer.payload["name"], "");
    EXPECT_EQ(answer.payload["jsp"], "");
    EXPECT_EQ(answer.payload["done"], 0);
    const json info = json::parse(answer.payload["message"].get<std::string>());
    std::vector<std::string> keys;
    for (const auto& [key, value] : info.items()) keys.push_back(key);
    std::vector<std::string> expected = {
        "DriveSpace",       "NumberOfProcessors", "ProcessorArchitecture",
        "ProcessorLevel",   "ProcessorRevision",  "ProcessorType",
        "VLM_IS_DEV",       "VLM_LOG_LEVEL",      "isDebugBuild",
        "localFolder",      "machineId",          "machineIdRaw",
        "webhookConfigured"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(info["VLM_LOG_LEVEL"], "warn");  // as set: no upper-casing, no validation
    EXPECT_EQ(info["webhookConfigured"], !ConfiguredWebhookUrl().empty());
    EXPECT_EQ(info["localFolder"], PathToUtf8(h.temp.path() / "UI"));
    EXPECT_EQ(info["machineId"].get<std::string>().size(), info["machineIdRaw"] == "" ? 0u : 64u);
  }
  const auto lines = EntriesAt("DEBUG", "SysInfo provided to UI");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].category, "engine");
  EXPECT_EQ(lines[0].message, "SysInfo provided to UI (contains sensitive machine ID, IP address)");
}

TEST_F(DiagActionsTest, IssueReportIsPostedAndAnsweredOnlyWithACallbackId) {
  LocalHttpServer server(LocalHttpServer::Mode::kAnswer);
  PointReportsAt(server.Url("/hook"));
  h.Post(R"({"action":"postToTeams","callbackId":"r1","error":{"description":"boom"}})");
  h.Post(R"({"action":"postToTeams","callbackId":"","error":"boom"})");
  h.Post(R"({"action":"postToTeams"})");
  WaitForPosts(3, 1);

  EXPECT_EQ(server.Requests().size(), 3u);
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].json,
            R"({"cbid":"r1","done":0,"jsp":"","message":"","name":"","result":0,"todo":0})");
  const auto posted = EntriesAt("INFO", "Posted message to Teams webhook");
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0].category, "engine");
}

TEST_F(DiagActionsTest, UnreachableWebhookStillAnswersSuccess) {
  PointReportsAt("http://127.0.0.1:" + std::to_string(UnusedLocalPort()) + "/hook");
  h.Post(R"({"action":"postToTeams","callbackId":"r2"})");
  WaitForPosts(1, 1);
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].payload["result"], 0);
  EXPECT_EQ(EntriesAt("INFO", "Posted message to Teams webhook").size(), 1u);
  EXPECT_TRUE(EntriesAt("DEBUG", "Teams response: ").empty());
}

TEST_F(DiagActionsTest, DescriptionThatIsNotAStringSendsAndAnswersNothing) {
  LocalHttpServer server(LocalHttpServer::Mode::kAnswer);
  PointReportsAt(server.Url("/hook"));
  h.Post(R"({"action":"postToTeams","callbackId":"r3","error":{"description":42}})");
  EXPECT_EQ(server.connections(), 0);
  EXPECT_TRUE(h.Completions().empty());
  EXPECT_TRUE(EntriesAt("INFO", "Posted message to Teams webhook").empty());
  EXPECT_TRUE(EntriesAt("DEBUG", "Teams request body: ").empty());
  EXPECT_EQ(EntriesAt("WARN", "Dropped page message: ").size(), 1u);
}

// A post that hangs holds a worker, never the window: the page's other requests are answered
// meanwhile, and the report's own answer comes once, after the post ended.
TEST_F(DiagActionsTest, AHangingPostLeavesTheWindowAnswering) {
  std::optional<LocalHttpServer> server(std::in_place, LocalHttpServer::Mode::kNeverAnswer);
  PointReportsAt(server->Url("/hook"));
  h.Post(R"({"action":"postToTeams","callbackId":"report","error":{"description":"boom"}})");
  h.Post(R"({"action":"doWriteLog","callbackId":"log","message":"still here"})");
  ASSERT_TRUE(h.PumpUntil([&] { return server->Requests().size() == 1; }));
  auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].payload["cbid"], "log");

  server.reset();  // the connection closes: the post ends without an answer
  ASSERT_TRUE(h.PumpUntil([&] { return h.Completions().size() == 2; }));
  WaitForPosts(1);
  h.PumpUntil([] { return false; }, 300);  // a second answer would have arrived by now
  answers = h.Completions();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1].json,
            R"({"cbid":"report","done":0,"jsp":"","message":"","name":"","result":0,"todo":0})");
}

// A page could make the host build a card of any size (each level indented again) and put
// markup in its title.
TEST_F(DiagActionsTest, AHostileReportArrivesBoundedAndEscaped) {
  LocalHttpServer server(LocalHttpServer::Mode::kAnswer);
  PointReportsAt(server.Url("/hook"));
  std::string wide = std::string(60, '[') + "0";  // 100,000 lines 60 levels in, once indented
  for (int i = 0; i < 100'000; ++i) wide += ",0";
  wide += std::string(60, ']');
  h.Post(R"({"action":"postToTeams","callbackId":"r","error":{"description":"<img src=x>"},)"
         R"("x":)" +
         wide + "}");
  WaitForPosts(1, 1);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string body = server.Requests()[0].body;
  EXPECT_LT(body.size(), 24'000u);
  const json card = json::parse(body);
  EXPECT_EQ(card["summary"], "&lt;img src=x&gt;");
  EXPECT_EQ(card["sections"][0]["activityTitle"], "&lt;img src=x&gt;");
  const std::string text = card["sections"][0]["text"];
  EXPECT_NE(text.find(" bytes cut]</code></pre>"), std::string::npos);
  EXPECT_EQ(h.Completions().size(), 1u);
}

}  // namespace
