#include <gtest/gtest.h>

#include <thread>

#include "app/main_window_proc.h"
#include "app/window_messages.h"
#include "app/window_responder.h"
#include "bridge/dev_environment.h"
#include "download/download_engine.h"
#include "support/logger_fixture.h"

namespace {

class DispatcherTest : public LoggerFixture {
 protected:
  HostHarness h;
};

TEST_F(DispatcherTest, ActionNamesMatchIgnoringAsciiCaseOnly) {
  h.Post(R"({"action":"doCancel","callbackId":"a"})");
  h.Post(R"({"action":"DoCancel","callbackId":"b"})");
  h.Post(R"({"action":"DOCANCEL","callbackId":"c"})");
  h.Post(R"({"action":"do Cancel","callbackId":"d"})");
  h.Post(R"({"action":"doCancel ","callbackId":"e"})");
  h.Post(R"({"action":"doCancelX","callbackId":"f"})");
  const auto answers = h.Completions();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].payload["cbid"], "a");
  EXPECT_EQ(answers[1].payload["cbid"], "b");
  EXPECT_EQ(answers[2].payload["cbid"], "c");
  EXPECT_EQ(answers[0].json,
            R"({"cbid":"a","done":0,"jsp":"","message":"","name":"","result":0,"todo":0})");
}

TEST_F(DispatcherTest, UnknownOrMissingActionsDoNothingAtAll) {
  const size_t linesBefore = Logger::GetRecentEntries(Logger::kRecentCapacity, true).size();
  h.Post(R"({"action":"","callbackId":"x"})");
  h.Post(R"({"callbackId":"x"})");
  h.Post(R"({"action":"noSuchAction","callbackId":"x"})");
  EXPECT_TRUE(h.webView->scripts.empty());
  EXPECT_EQ(Logger::GetRecentEntries(Logger::kRecentCapacity, true).size(), linesBefore);
}

TEST_F(DispatcherTest, MalformedMessagesAreDroppedWithOneWarning) {
  const std::vector<std::string> malformed = {
      "not json",
      R"(["doCancel"])",
      R"("{\"action\":\"doCancel\",\"callbackId\":\"1\"}")",  // a string holding JSON
      R"({"action":42,"callbackId":"1"})",
      R"({"action":"doCancel","callbackId":7})",
      R"({"action":"doWriteLog","callbackId":{},"message":"x"})",
      R"({"action":"doCancel" /* comment */ ,"callbackId":"1"})",
      "{\"action\":\"doCancel\",\"callbackId\":\"1\"} trailing",
      "",
  };
  for (const std::string& text : malformed) {
    const size_t warningsBefore = EntriesAt("WARN", "Dropped page message").size();
    EXPECT_NO_THROW(h.Post(text));
    EXPECT_EQ(EntriesAt("WARN", "Dropped page message").size(), warningsBefore + 1) << text;
  }
  EXPECT_TRUE(h.webView->scripts.empty());
  EXPECT_TRUE(EntriesAt("INFO", "x").empty());  // the doWriteLog above logged nothing
}

TEST_F(DispatcherTest, AHandlerThatThrowsIsContainedAtTheEdge) {
  h.Post(R"({"action":"doDownload","callbackId":"d1"})");  // no "fetchDownloadConfig"
  h.Post(R"({"action":"doDownload","callbackId":"d2","fetchDownloadConfig":"x"})");
  h.Post(R"({"action":"doUnZip","callbackId":"z1","download":{"des":7}})");
  EXPECT_EQ(h.host->DownloadWorker(), nullptr);
  EXPECT_TRUE(h.host->WorkingFolders().empty());
  EXPECT_TRUE(h.webView->scripts.empty());
  EXPECT_EQ(EntriesAt("WARN", "Dropped page message").size(), 3u);
  // The host goes on answering.
  h.Post(R"({"action":"doCancel","callbackId":"after"})");
  EXPECT_EQ(h.Completions().size(), 1u);
}

std::string Nested(size_t depth, const std::string& inner) {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

// Deep nesting ended the host with a stack overflow in the handlers' recursive copies and
// serialisation; a huge message swelled its memory. Both are refused before any handler runs.
TEST_F(DispatcherTest, TooDeepOrTooLargeMessagesAreDroppedWithOneWarning) {
  h.Post(R"({"action":"doWriteLog","callbackId":"w","message":)" + Nested(1'000'000, "") + "}");
  h.Post(R"({"action":"doDataExchange","subAction":"in","callbackId":"d","x":)" +
         Nested(400'000, "1") + "}");
  h.Post(R"({"action":"doWriteLog","callbackId":"w","message":")" +
         std::string(9 * 1024 * 1024, 'm') + R"("})");
  EXPECT_TRUE(h.webView->scripts.empty());
  const auto dropped = EntriesAt("WARN", "Dropped page message: ");
  ASSERT_EQ(dropped.size(), 3u);
  EXPECT_EQ(dropped[0].message, "Dropped page message: nested deeper than 64 levels");
  EXPECT_EQ(dropped[2].message, "Dropped page message: larger than 8388608 bytes");

  // 64 levels, the message object included, still pass.
  h.Post(R"({"action":"doDataExchange","subAction":"in","callbackId":"d","x":)" + Nested(63, "1") +
         "}");
  ASSERT_EQ(h.Completions().size(), 1u);
  EXPECT_EQ(h.Completions()[0].payload["result"], 0);
}

TEST_F(DispatcherTest, InlineActionsNeverAnswer) {
  for (const char* action : {"doMinimizeWnd", "OpenDevToolsWindow", "doCloseOverride"}) {
    h.Post(std::string(R"({"action":")") + action + R"(","callbackId":"id"})");
  }
  EXPECT_TRUE(h.Completions().empty());
  const auto events = h.window.Events();
  EXPECT_NE(std::find(events.begin(), events.end(), "minimize"), events.end());
  EXPECT_EQ(h.window.quitCode(), 0);  // doCloseOverride destroyed the window
}

TEST_F(DispatcherTest, FirstCloseCancelsAndCleansUpOnceThenClosesWhenIdle) {
  auto engine = std::make_shared<DownloadEngine>();
  engine->running = true;
  h.host->DownloadWorker() = engine;

  h.host->OnWebMessageReceived(R"({"action":"doClose"})");
  EXPECT_TRUE(h.host->Closing());
  EXPECT_TRUE(engine->cancelRequested);
  ASSERT_FALSE(h.window.Pending().empty());
  EXPECT_EQ(h.window.Pending().back().message, WM_CLOSE_REQUEST);  // busy: ask the page again
  h.window.PumpAll();
  EXPECT_EQ(h.webView->scripts.back(), kRequestCloseScript);

  // The worker ends; a later doClose cancels nothing more and destroys the window.
  engine->cancelRequested = false;
  engine->running = false;
  ASSERT_TRUE(h.PumpUntil([&] { return !*h.host->CleaningUp(); }));
  h.Post(R"({"action":"doClose"})");
  EXPECT_FALSE(engine->cancelRequested);
  EXPECT_TRUE(h.window.destroyed());
  EXPECT_EQ(h.window.quitCode(), 0);
  EXPECT_TRUE(h.Completions().empty());  // the cancel and clean-up had no id to answer
}

TEST_F(DispatcherTest, CloseOverrideDestroysEvenWhileBusy) {
  auto engine = std::make_shared<DownloadEngine>();
  engine->running = true;
  h.host->DownloadWorker() = engine;
  h.Post(R"({"action":"doCloseOverride"})");
  EXPECT_TRUE(h.window.destroyed());
  EXPECT_FALSE(engine->cancelRequested);
  EXPECT_FALSE(h.host->Closing());
}

TEST_F(DispatcherTest, DevToolsOpenOnlyInTheDeveloperEnvironment) {
  ScopedEnvironmentVariable dev("VLM_IS_DEV", std::nullopt);
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", std::nullopt);
  h.Post(R"({"action":"OpenDevToolsWindow"})");
  EXPECT_EQ(h.webView->devToolsOpened, 0);
  {
    ScopedEnvironmentVariable zero("VLM_IS_DEV", "0");
    h.Post(R"({"action":"OpenDevToolsWindow"})");
    EXPECT_EQ(h.webView->devToolsOpened, 0);
    ScopedEnvironmentVariable upper("VELMORANTE_DEBUG", "TRUE");
    h.Post(R"({"action":"OpenDevToolsWindow"})");
    EXPECT_EQ(h.webView->devToolsOpened, 1);
  }
}

TEST_F(DispatcherTest, DevToolsNeedAWebView) {
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  h.host->ResetWebView();
  h.webView = nullptr;
  EXPECT_NO_THROW(h.host->OnWebMessageReceived(R"({"action":"OpenDevToolsWindow"})"));
}

TEST(DevEnvironmentTest, EnablingValues) {
  ScopedElevation notElevated(false);  // every process is elevated under Wine
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", std::nullopt);
  const auto enables = [](std::optional<std::string> value) {
    ScopedEnvironmentVariable dev("VLM_IS_DEV", std::move(value));
    return IsDevEnvironment();
  };
  EXPECT_TRUE(enables("1"));
  EXPECT_TRUE(enables("10"));
  EXPECT_TRUE(enables("1abc"));
  EXPECT_TRUE(enables("true"));
  EXPECT_TRUE(enables("TRUE"));
  EXPECT_TRUE(enables("True"));
  EXPECT_FALSE(enables("yes"));
  EXPECT_FALSE(enables("on"));
  EXPECT_FALSE(enables("0"));
  EXPECT_FALSE(enables("false"));
  EXPECT_FALSE(enables(" 1"));
  EXPECT_FALSE(enables("truex"));
  EXPECT_FALSE(enables(""));
  EXPECT_FALSE(enables(std::nullopt));
  EXPECT_TRUE(enables("1" + std::string(30, 'x')));   // 31 characters fit
  EXPECT_FALSE(enables("1" + std::string(31, 'x')));  // 32 do not
}

TEST(DevEnvironmentTest, SecondVariableIsTheFallback) {
  ScopedElevation notElevated(false);
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "0");
  {
    ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", "1");
    EXPECT_TRUE(IsDevEnvironment());
  }
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", "no");
  EXPECT_FALSE(IsDevEnvironment());
}

// The window rules every backend shares.
class WindowProcTest : public ::testing::Test {
 protected:
  HostHarness h;
};

TEST_F(WindowProcTest, CloseAsksThePageOncePerRequest) {
  h.window.Post(WM_CLOSE, 0, 0);
  h.window.PumpAll();
  ASSERT_EQ(h.webView->scripts.size(), 1u);
  EXPECT_EQ(h.webView->scripts[0], "window.requestClose && window.requestClose('{}');");
  EXPECT_EQ(std::string(kRequestCloseScript).size(), 49u);
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  h.window.PumpAll();
  EXPECT_EQ(h.webView->scripts.size(), 3u);
  EXPECT_FALSE(h.window.destroyed());
}

TEST_F(WindowProcTest, CloseDestroysDirectlyWhenNoPageCanAnswer) {
  h.webView->pageAlive = false;  // the renderer died
  h.window.Post(WM_CLOSE, 0, 0);
  h.window.PumpAll();
  EXPECT_TRUE(h.webView->scripts.empty());
  EXPECT_TRUE(h.window.destroyed());
  EXPECT_EQ(h.window.quitCode(), 0);
}

TEST_F(WindowProcTest, CloseBeforeTheWebViewIsReadyDestroys) {
  HostHarness notReady(/*webViewReady=*/false);
  notReady.window.Post(WM_CLOSE, 0, 0);
  notReady.window.PumpAll();
  EXPECT_TRUE(notReady.window.destroyed());
}

TEST_F(WindowProcTest, ScriptsRunInOrderAndAreDroppedBeforeTheWebView) {
  h.window.Post(WM_RUN_SCRIPT, 0, 0);  // no string: nothing to run or free
  h.window.Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(new std::string("one()")), 0);
  h.window.Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(new std::string("two()")), 0);
  h.window.PumpAll();
  EXPECT_EQ(h.webView->scripts, (std::vector<std::string>{"one()", "two()"}));

  HostHarness notReady(/*webViewReady=*/false);
  // Freed without running (ASan would report a leak otherwise).
  notReady.window.Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(new std::string("lost()")), 0);
  notReady.window.PumpAll();
}

TEST_F(WindowProcTest, WorkerThreadScriptsArriveInPostingOrder) {
  std::thread worker([this] {
    for (int i = 0; i < 50; ++i) {
      CallbackPayload progress;
      progress.done = static_cast<uint64_t>(i);
      h.responder().Progress(progress);
    }
  });
  worker.join();
  h.window.PumpAll();
  const auto callbacks = h.Callbacks();
  ASSERT_EQ(callbacks.size(), 50u);
  for (size_t i = 0; i < callbacks.size(); ++i) {
    EXPECT_EQ(callbacks[i].function, "onActionProgress");
    EXPECT_EQ(callbacks[i].payload["done"], i);
  }
}

TEST_F(WindowProcTest, ScriptsPostedToADestroyedWindowAreFreed) {
  h.window.Post(WM_DESTROY_NOW, 0, 0);
  h.window.PumpAll();
  ASSERT_TRUE(h.window.destroyed());
  EXPECT_FALSE(PostScriptTo(h.window, "late()"));  // ASan checks that nothing leaks
  h.responder().Complete(CallbackPayload{});
}

// Elevated, the environment is partly the user's: neither switch opens the developer tools.
TEST(DevEnvironmentTest, ElevatedNeitherSwitchEnables) {
  ScopedElevation elevated(true);
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", "true");
  EXPECT_FALSE(IsDevEnvironment());
}

}  // namespace
