#include "diag/teams_notifier.h"

#include <gtest/gtest.h>

#include <future>

#include "diag/issue_report_card.h"
#include "diag/local_http_server.h"
#include "support/logger_fixture.h"
#include "support/system_proxy_setting.h"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr char kPath[] =
    "/webhookb2/0f8fad5b-d9cb-469f-a165-70867728950e@7c9e6679-7425-40de-944b-e07fc1f90ae7"
    "/IncomingWebhook/0123456789abcdef0123456789abcdef/16fd2706-8baf-433b-82eb-8c7fada847da/"
    "abcdefghijABCDEFGHIJ0123456789abcdefghijABCDEF";

const json kMessage = json::parse(
    R"({"action":"postToTeams","callbackId":"c1","error":{"description":"Disk full"}})");

TeamsNotifier NotifierFor(const std::string& url, HttpTimeouts timeouts = {}) {
  return TeamsNotifier(ParseWebhookUrl(url).value(), timeouts);
}

class TeamsNotifierTest : public LoggerFixture {};

TEST_F(TeamsNotifierTest, CardArrivesAsAJsonPostAndTheAnswerIsLogged) {
  LocalHttpServer server(LocalHttpServer::Mode::kAnswer, "1");
  NotifierFor(server.Url(kPath)).PostIssueReport(kMessage);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const LocalHttpServer::Request& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, kPath);
  EXPECT_EQ(r.body, BuildIssueReportBody(kMessage));
  EXPECT_EQ(r.headers.at("content-type"), "application/json");
  EXPECT_EQ(r.headers.at("user-agent"), "MyApp/1.0");
  EXPECT_EQ(r.headers.at("content-length"), std::to_string(r.body.size()));
  EXPECT_EQ(r.headers.at("host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(r.headers.count("expect"), 0u);

  const auto body = EntriesAt("DEBUG", "Teams request body: ");
  ASSERT_EQ(body.size(), 1u);
  EXPECT_EQ(body[0].category, "Engine.Http");
  EXPECT_EQ(body[0].message, "Teams request body: " + r.body);
  const auto response = EntriesAt("DEBUG", "Teams response: ");
  ASSERT_EQ(response.size(), 1u);
  EXPECT_EQ(response[0].message, "Teams response: 1");
}

TEST_F(TeamsNotifierTest, OnlyTheFirstBlockOfTheAnswerIsLoggedUpToAZeroByte) {
  {
    LocalHttpServer server(LocalHttpServer::Mode::kAnswer, std::string("ok\0more", 7));
    NotifierFor(server.Url("/hook")).PostIssueReport(kMessage);
  }
  {
    LocalHttpServer server(LocalHttpServer::Mode::kAnswer, std::string(256 << 10, 'z'));
    NotifierFor(server.Url("/hook")).PostIssueReport(kMessage);
  }
  {
    LocalHttpServer server(LocalHttpServer::Mode::kAnswer, "");
    NotifierFor(server.Url("/hook")).PostIssueReport(kMessage);
    EXPECT_EQ(server.Requests().size(), 1u);
  }
  const auto response = EntriesAt("DEBUG", "Teams response: ");
  ASSERT_EQ(response.size(), 2u);  // nothing for the empty answer
  EXPECT_EQ(response[0].message, "Teams response: ok");
  const std::string big = response[1].message.substr(std::string("Teams response: ").size());
  EXPECT_GT(big.size(), 0u);
  EXPECT_LT(big.size(), 256u << 10);
  EXPECT_EQ(big.find_first_not_of('z'), std::string::npos);
}

TEST_F(TeamsNotifierTest, UnreachableOrSilentEndpointsEndThePostWithoutAResponseLine) {
  NotifierFor("http://127.0.0.1:" + std::to_string(UnusedLocalPort()) + "/hook")
      .PostIssueReport(kMessage);

  std::future<void> post;  // declared first: if the post hangs, stopping the server ends it
  LocalHttpServer silent(LocalHttpServer::Mode::kNeverAnswer);
  const TeamsNotifier notifier = NotifierFor(silent.Url("/hook"), HttpTimeouts{5000ms, 300ms});
  post = std::async(std::launch::async, [&] { notifier.PostIssueReport(kMessage); });
  // Without the time-out the post would wait for ever; the bound here only keeps a broken
  // build from hanging the suite.
  ASSERT_EQ(post.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(silent.Requests().size(), 1u);

  EXPECT_EQ(EntriesAt("DEBUG", "Teams request body: ").size(), 2u);
  EXPECT_TRUE(EntriesAt("DEBUG", "Teams response: ").empty());
}

// Nothing listens on 127.0.0.2's port 1: the post goes on through the proxy the system names,
// which the local server stands in for (it answers a request for an absolute URL as any other).
TEST_F(TeamsNotifierTest, ARefusedDirectConnectionPostsThroughTheSystemsProxy) {
  LocalHttpServer proxy(LocalHttpServer::Mode::kAnswer, "1");
  const ScopedSystemProxy setting("127.0.0.1:" + std::to_string(proxy.port()), "127.0.0.1");
  const std::string url = "http://127.0.0.2:1" + std::string(kPath);
  NotifierFor(url).PostIssueReport(kMessage);

  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, url);
  EXPECT_EQ(requests[0].body, BuildIssueReportBody(kMessage));
  EXPECT_EQ(EntriesAt("DEBUG", "Teams response: 1").size(), 1u);
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.2:1: the direct connection failed (12029); "
                      "through the proxy ")
                .size(),
            1u);
}

TEST_F(TeamsNotifierTest, RedirectsAreNotFollowed) {
  // Following one would hand the report to whatever the answer names.
  LocalHttpServer server(LocalHttpServer::Mode::kRedirect, "moved");
  NotifierFor(server.Url("/hook")).PostIssueReport(kMessage);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/hook");
}

TEST_F(TeamsNotifierTest, UnconfiguredEndpointLogsTheCardAndSendsNothing) {
  TeamsNotifier(ParseWebhookUrl("").value()).PostIssueReport(kMessage);
  EXPECT_EQ(EntriesAt("DEBUG", "Teams request body: ").size(), 1u);
  const auto notice = EntriesAt("INFO", "Teams webhook not configured");
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].category, "Engine.Http");
}

TEST(WebhookEndpointTest, UrlsAreSplitIntoSchemeHostPortAndPath) {
  const auto https = ParseWebhookUrl("https://example.webhook.host/webhookb2/a@b/x?y=1");
  ASSERT_TRUE(https.has_value());
  EXPECT_EQ(https->scheme, "https");
  EXPECT_EQ(https->host, "example.webhook.host");
  EXPECT_EQ(https->port, 443);
  EXPECT_EQ(https->path, "/webhookb2/a@b/x?y=1");
  EXPECT_EQ(WebhookUrl(*https), "https://example.webhook.host:443/webhookb2/a@b/x?y=1");

  EXPECT_EQ(ParseWebhookUrl("http://127.0.0.1:8080")->path, "/");
  EXPECT_EQ(ParseWebhookUrl("http://127.0.0.1:8080")->port, 8080);
  EXPECT_EQ(ParseWebhookUrl("http://localhost/h")->port, 80);
  EXPECT_EQ(ParseWebhookUrl("https://[::1]:9/h")->host, "::1");
  EXPECT_EQ(WebhookUrl(*ParseWebhookUrl("https://[::1]:9/h")), "https://[::1]:9/h");
  EXPECT_FALSE(ParseWebhookUrl("")->IsConfigured());

  for (const char* bad : {"ftp://host/x", "host/x", "https:///x", "https://host:0/x",
                          "https://host:70000/x", "https://host:/x", "https://user@host/x",
                          "https://host/a b", "https://ho\nst/x", "https://[::1/x"}) {
    EXPECT_FALSE(ParseWebhookUrl(bad).has_value()) << bad;
  }
}

}  // namespace
