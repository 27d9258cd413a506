#include <gtest/gtest.h>

#include "support/test_environment.h"

namespace {

TEST(DataExchangeTest, StoresTheWholeMessageAndFetchesItAcrossRequests) {
  HostHarness h;
  h.Post(R"({"action":"doDataExchange","callbackId":"6","subAction":"out"})");
  h.Post(R"({"action":"doDataExchange","callbackId":"7","subAction":"in","lang":"de"})");
  h.Post(R"({"action":"doDataExchange","callbackId":"8","subAction":"out"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].payload["message"], "Nothing to exchange");
  EXPECT_EQ(answers[0].payload["result"], 4294967295u);
  const std::string stored =
      R"({"action":"doDataExchange","callbackId":"","lang":"de","subAction":""})";
  EXPECT_EQ(answers[1].payload["cbid"], "7");
  EXPECT_EQ(answers[1].payload["message"], stored);
  EXPECT_EQ(answers[1].payload["result"], 0);
  EXPECT_EQ(answers[2].payload["cbid"], "8");
  EXPECT_EQ(answers[2].payload["message"], stored);
}

TEST(DataExchangeTest, ASecondStoreReplacesTheFirstEntirely) {
  HostHarness h;
  h.Post(R"({"action":"doDataExchange","subAction":"in","a":1,"nested":{"z":[1,2],"b":"\u00e9"}})");
  h.Post(R"({"action":"doDataExchange","subAction":"in"})");
  h.Post(R"({"action":"doDataExchange","subAction":"out"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 3u);
  // Keys sorted at every level, non-ASCII as raw UTF-8.
  EXPECT_EQ(answers[0].payload["message"],
            "{\"a\":1,\"action\":\"doDataExchange\",\"callbackId\":\"\",\"nested\":{\"b\":"
            "\"\xC3\xA9\",\"z\":[1,2]},\"subAction\":\"\"}");
  EXPECT_EQ(answers[2].payload["message"],
            R"({"action":"doDataExchange","callbackId":"","subAction":""})");
  EXPECT_EQ(answers[2].payload["cbid"], "");  // answered although no id was given
}

TEST(DataExchangeTest, SubActionIsCaseSensitive) {
  HostHarness h;
  h.Post(R"({"action":"doDataExchange","callbackId":"1","subAction":"IN","x":1})");
  h.Post(R"({"action":"doDataExchange","callbackId":"2","subAction":"Out"})");
  h.Post(R"({"action":"doDataExchange","callbackId":"3","subAction":"out"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].payload["message"], "");
  EXPECT_EQ(answers[0].payload["result"], 0);
  EXPECT_EQ(answers[1].payload["message"], "");
  EXPECT_EQ(answers[2].payload["message"], "Nothing to exchange");
}

TEST(DataExchangeTest, NoAnswerBeforeTheWebViewIsReady) {
  HostHarness h(/*webViewReady=*/false);
  h.Post(R"({"action":"doDataExchange","callbackId":"1","subAction":"in","x":1})");
  EXPECT_TRUE(h.window.Pending().empty());
  EXPECT_EQ(h.host->ExchangeData(), nullptr);
}

TEST(CancelTest, AnswersOnlyWithAnIdAndFlagsEveryEngine) {
  HostHarness h;
  h.Post(R"({"action":"doCancel"})");
  EXPECT_TRUE(h.Completions().empty());
  h.Post(R"({"action":"doCancel","callbackId":"c1"})");
  ASSERT_EQ(h.Completions().size(), 1u);
  EXPECT_EQ(h.Completions()[0].base64.size(), 100u);
}

}  // namespace
