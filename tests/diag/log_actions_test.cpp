#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "support/logger_fixture.h"

namespace {

class LogActionsTest : public LoggerFixture {
 protected:
  void SetUp() override {
    LoggerFixture::SetUp();
    // Only what the tests log should come back.
    Logger::ResetForTesting();
    ScopedEnvironmentVariable dir("VLM_LOG_DIR", logFolder_.path().string());
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "WARN");  // hides the start-up line
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }

  std::string FileText() {
    Logger::Flush();
    std::ifstream in(Logger::CurrentLogFilePath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  HostHarness h;
};

TEST_F(LogActionsTest, WriteLogWithoutIdLogsAndStaysSilent) {
  h.Post(R"({"action":"doWriteLog","message":"hello","level":"ERROR"})");
  h.Post(R"({"action":"doWriteLog","message":"lower","level":"warn"})");  // not a known name
  EXPECT_TRUE(h.Completions().empty());
  const auto entries = Logger::GetRecentEntries(10, true);
  ASSERT_EQ(entries.size(), 1u);  // "lower" was logged at INFO, below this logger's WARN
  EXPECT_EQ(entries[0].category, "UI");
  EXPECT_EQ(entries[0].message, "hello");
  EXPECT_TRUE(std::regex_search(
      FileText(),
      std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[ERROR\] \[UI\] hello\n)")));
}

TEST_F(LogActionsTest, SourcePartOnlyWithFunctionFileAndNonZeroLine) {
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"full","function":"start",)"
         R"("file":"main.js","line":118,"category":"page"})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"zero line","function":"f",)"
         R"("file":"main.js","line":0})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"no function","file":"main.js",)"
         R"("line":12})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"fraction","function":"f",)"
         R"("file":"a.js","line":7.9})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"below","function":"f",)"
         R"("file":"a.js","line":-7.9})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"top","function":"f",)"
         R"("file":"a.js","line":2147483647.9})");
  h.Post(R"({"action":"doWriteLog","level":"WARN","message":"yes","function":"f",)"
         R"("file":"a.js","line":true})");
  const std::string text = FileText();
  EXPECT_NE(text.find("[WARN] [page] full (main.js:118, start)\n"), std::string::npos);
  EXPECT_NE(text.find("[WARN] [UI] zero line\n"), std::string::npos);
  EXPECT_NE(text.find("[WARN] [UI] no function\n"), std::string::npos);
  // A fraction is cut toward zero, and true counts as 1.
  EXPECT_NE(text.find("[WARN] [UI] fraction (a.js:7, f)\n"), std::string::npos);
  EXPECT_NE(text.find("[WARN] [UI] below (a.js:-7, f)\n"), std::string::npos);
  EXPECT_NE(text.find("[WARN] [UI] top (a.js:2147483647, f)\n"), std::string::npos);
  EXPECT_NE(text.find("[WARN] [UI] yes (a.js:1, f)\n"), std::string::npos);
}

TEST_F(LogActionsTest, WriteLogAnswers) {
  h.Post(R"({"action":"doWriteLog","callbackId":"w0","message":"ok"})");
  h.Post(R"({"action":"doWriteLog","callbackId":"w1","message":""})");
  h.Post(R"({"action":"doWriteLog","callbackId":"w2"})");
  h.Post(R"({"action":"doWriteLog","callbackId":"w3","message":"m","level":5})");
  h.Post(R"({"action":"doWriteLog","callbackId":"w4","message":"m","line":"12"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0].json,
            R"({"cbid":"w0","done":0,"jsp":"","message":"","name":"","result":0,"todo":0})");
  EXPECT_EQ(answers[1].payload["result"], 87);
  EXPECT_EQ(answers[1].payload["message"], "Log message cannot be empty");
  EXPECT_EQ(answers[2].payload["result"], 87);
  EXPECT_EQ(answers[3].payload["result"], 1359);
  EXPECT_EQ(answers[3].payload["message"],
            "Logging error: [json.exception.type_error.302] type must be string, but is number");
  EXPECT_EQ(answers[4].payload["result"], 1359);
  EXPECT_TRUE(Logger::GetRecentEntries(10, true).empty());  // "ok" is INFO, below WARN
}

// get<int32_t>() casts: a double beyond int32 (a number too long for any integer) was undefined
// behaviour, and a larger integer wrapped. Only values out of range are refused.
TEST_F(LogActionsTest, NumbersMustBeIntegersThatFitTheirMember) {
  h.Post(R"({"action":"doGetLogData","callbackId":"g","maxEntries":-1444)"
         R"(0000000000000000000000000000000000004})");
  h.Post(R"({"action":"doGetLogData","callbackId":"h","maxEntries":2147483648})");
  h.Post(R"({"action":"doWriteLog","callbackId":"w","message":"m","line":true})");
  h.Post(R"({"action":"doWriteLog","callbackId":"x","message":"m","line":-2147483649})");
  h.Post(R"({"action":"doWriteLog","callbackId":"y","message":"m","line":2147483648.5})");
  h.Post(R"({"action":"doWriteLog","callbackId":"z","message":"edge","level":"WARN",)"
         R"("function":"f","file":"a.js","line":-2147483648})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 6u);
  EXPECT_EQ(answers[0].payload["message"],
            R"({"error":"[json.exception.type_error.302] number must be an integer from )"
            R"(-2147483648 to 2147483647, but is -1.444e+40","success":false})");
  EXPECT_EQ(answers[1].payload["result"], 1359);
  EXPECT_EQ(answers[2].payload["result"], 0);
  EXPECT_EQ(answers[3].payload["result"], 1359);
  EXPECT_EQ(answers[4].payload["result"], 1359);
  EXPECT_EQ(answers[5].payload["result"], 0);
  EXPECT_NE(FileText().find("[WARN] [UI] edge (a.js:-2147483648, f)\n"), std::string::npos);
}

TEST_F(LogActionsTest, GetLogDataOneEntryIsByteExact) {
  h.Post(R"({"action":"doWriteLog","level":"ERROR","message":"Page ready"})");
  h.Post(R"({"action":"doGetLogData"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);  // answered without an id
  EXPECT_EQ(answers[0].payload["cbid"], "");
  const std::string timestamp = Logger::GetRecentEntries(1, true)[0].timestamp;
  EXPECT_EQ(answers[0].payload["message"],
            R"({"logData":"[{\"category\":\"UI\",\"file\":\"\",\"function\":\"\",\"level\":)"
            R"(\"ERROR\",\"line\":0,\"message\":\"Page ready\",\"timestamp\":\")" +
                timestamp + R"(\"}]","success":true})");
}

nlohmann::json LogDataOf(const PageCallback& answer) {
  const auto outer = nlohmann::json::parse(answer.payload["message"].get<std::string>());
  return nlohmann::json::parse(outer["logData"].get<std::string>());
}

// A page, a server or an archive name must not be able to write a line that reads as the
// program's own; the read-back still gives the text as the caller wrote it.
TEST_F(LogActionsTest, ControlCharactersCannotForgeLines) {
  const std::string forged = "[2025-03-01 09:30:15.042] [INFO] [engine] Process exited code=0";
  h.Post(nlohmann::json({{"action", "doWriteLog"},
                         {"level", "WARN"},
                         {"category", "UI] [engine"},
                         {"message", "done\n" + forged + "\r\x1b[2K\x7f"},
                         {"function", std::string("f\0g", 3)},
                         {"file", "a.js\n"},
                         {"line", 3}})
             .dump());
  const std::string text = FileText();
  EXPECT_EQ(text.find("\n" + forged), std::string::npos);
  EXPECT_EQ(text.find_first_of("\r\x1b\x7f"), std::string::npos);
  EXPECT_NE(text.find("] [WARN] [UI\\x5D [engine] done\\n" + forged +
                      "\\x0D\\x1B[2K\\x7F (a.js\\n:3, f\\x00g)\n"),
            std::string::npos);
  h.Post(R"({"action":"doGetLogData","callbackId":"g"})");
  const auto entries = LogDataOf(h.Completions().at(0));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["message"], "done\n" + forged + "\r\x1b[2K\x7f");
  EXPECT_EQ(entries[0]["category"], "UI] [engine");
}

// Whole texts were kept: ten 20 MiB messages held half a gigabyte and overran the rotation.
TEST_F(LogActionsTest, HugeTextsAreCutAtACharacterWithAMarker) {
  std::string accented;
  for (size_t i = 0; i < 600'000; ++i) accented += "\xC3\xA9";  // "é", two bytes each
  h.Post(nlohmann::json({{"action", "doWriteLog"},
                         {"level", "WARN"},
                         {"category", std::string(5000, 'c')},
                         {"message", "a" + accented}})
             .dump());
  h.Post(R"({"action":"doGetLogData","callbackId":"g"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.at(0).payload["result"], 0);  // a cut inside a character would fail here
  const auto entry = LogDataOf(answers[0]).at(0);
  const std::string message = entry["message"];
  // 65536 bytes fall in the middle of an "é": the cut is one byte earlier.
  EXPECT_EQ(message, "a" + accented.substr(0, 65534) + " [... 1134466 bytes cut]");
  EXPECT_EQ(entry["category"], std::string(1024, 'c') + " [... 3976 bytes cut]");
  EXPECT_LT(FileText().size(), 70'000u);
}

TEST_F(LogActionsTest, GetLogDataBoundsAndDebugFiltering) {
  Logger::ResetForTesting();
  ScopedEnvironmentVariable dir("VLM_LOG_DIR", logFolder_.path().string());
  ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
  ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));  // writes its own INFO line first
  for (int i = 0; i < 150; ++i) {
    Logger::Log(i % 2 ? LogLevel::Debug : LogLevel::Warn, "t", std::to_string(i));
  }
  h.Post(R"({"action":"doGetLogData","callbackId":"a"})");
  h.Post(R"({"action":"doGetLogData","callbackId":"b","maxEntries":0})");
  h.Post(R"({"action":"doGetLogData","callbackId":"c","maxEntries":-1})");
  h.Post(R"({"action":"doGetLogData","callbackId":"d","maxEntries":3,"includeDebug":true})");
  h.Post(R"({"action":"doGetLogData","callbackId":"e","maxEntries":0,"includeDebug":true})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 5u);
  const auto all = LogDataOf(answers[0]);
  EXPECT_EQ(all.size(), 76u);  // 75 WARN lines and the start-up line: fewer than 100
  EXPECT_EQ(all.front()["category"], "Logger");
  EXPECT_EQ(all.back()["message"], "148");
  EXPECT_EQ(LogDataOf(answers[1]).size(), 1u);
  EXPECT_EQ(LogDataOf(answers[1])[0]["message"], "148");
  EXPECT_EQ(LogDataOf(answers[2]).size(), 76u);
  const auto withDebug = LogDataOf(answers[3]);
  ASSERT_EQ(withDebug.size(), 3u);
  EXPECT_EQ(withDebug[0]["message"], "147");
  EXPECT_EQ(withDebug[2]["message"], "149");
  EXPECT_EQ(withDebug[2]["level"], "DEBUG");
  EXPECT_EQ(LogDataOf(answers[4])[0]["message"], "149");
}

TEST_F(LogActionsTest, GetLogDataErrorsAreJson) {
  h.Post(R"({"action":"doGetLogData","callbackId":"t","includeDebug":"true"})");
  h.Post(R"({"action":"doGetLogData","includeDebug":1})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].payload["result"], 1359);
  EXPECT_EQ(answers[0].payload["cbid"], "t");
  EXPECT_EQ(answers[0].payload["message"],
            R"({"error":"[json.exception.type_error.302] type must be boolean, but is string",)"
            R"("success":false})");
  EXPECT_EQ(answers[1].payload["message"],
            R"({"error":"[json.exception.type_error.302] type must be boolean, but is number",)"
            R"("success":false})");
}

TEST_F(LogActionsTest, ALineThatIsNotUtf8IsWrittenButBreaksTheReadBack) {
  Logger::Log(LogLevel::Error, "engine", "bad \xFF byte");
  EXPECT_NE(FileText().find("bad \xFF byte"), std::string::npos);
  h.Post(R"({"action":"doGetLogData","callbackId":"u"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].payload["result"], 1359);
  const auto error = nlohmann::json::parse(answers[0].payload["message"].get<std::string>());
  EXPECT_EQ(error["success"], false);
  EXPECT_EQ(error["error"].get<std::string>().rfind(
                "[json.exception.type_error.316] invalid UTF-8 byte at index", 0),
            0u);
}

}  // namespace
