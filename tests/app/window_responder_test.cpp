#include "app/window_responder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/native_window.h"
#include "support/logger_fixture.h"
#include "support/page_scripts.h"
#include "support/test_environment.h"

namespace {

// The host's answers as the window receives them.
class WindowResponderTest : public LoggerFixture {};

TEST_F(WindowResponderTest, CompletionShowsAHiddenWindowBeforePostingButProgressDoesNot) {
  HostHarness h;
  h.window.Hide();
  h.responder().Progress(CallbackPayload{});
  EXPECT_FALSE(h.window.IsVisible());
  h.responder().Complete(CallbackPayload{});
  EXPECT_TRUE(h.window.IsVisible());
  const auto events = h.window.Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "show");
  EXPECT_EQ(events.back(), "post:1125");
}

TEST_F(WindowResponderTest, ProgressWaitingForABusyWindowNeverCrowdsOutACompletion) {
  // The window thread waits for a setup while two downloads keep reporting: a Win32 thread
  // holds at most 10,000 posted messages, and past that a completion would be lost.
  HostHarness h;
  h.window.TakeQueuedMessages();
  CallbackPayload report;
  for (uint64_t done = 1; done <= 20000; ++done) {
    report.done = done;
    report.cbid = "a";
    h.responder().Progress(report);
    report.cbid = "b";
    h.responder().Progress(report);
  }
  CallbackPayload finished;
  finished.cbid = "a";
  h.responder().Complete(finished);
  // Each report as it came until the backlog, then one per action that newer ones replace.
  EXPECT_EQ(h.window.Pending().size(), kLatestScriptBacklog + 3);

  h.window.PumpAll();
  std::vector<std::string> seen;
  for (const PageCallback& callback : ParseCallbackScripts(h.webView->scripts)) {
    seen.push_back(callback.function + " " + callback.payload["cbid"].get<std::string>() + " " +
                   std::to_string(callback.payload["done"].get<uint64_t>()));
  }
  ASSERT_EQ(seen.size(), kLatestScriptBacklog + 3);
  EXPECT_EQ(seen[kLatestScriptBacklog - 1],
            "onActionProgress b " + std::to_string(kLatestScriptBacklog / 2));
  EXPECT_EQ(std::vector<std::string>(seen.end() - 3, seen.end()),
            (std::vector<std::string>{"onActionProgress a 20000", "onActionProgress b 20000",
                                      "onActionComplete a 0"}));

  // Once the window caught up, reports are posted one by one again.
  h.responder().Progress(report);
  h.responder().Progress(report);
  EXPECT_EQ(h.window.Pending().size(), 2u);
}

// Workers keep the responder past their host; once the host is gone nothing reaches its window.
TEST_F(WindowResponderTest, AHostDetachesItselfAndItsResponderFromTheWindow) {
  FakeWindow window;
  TemporaryFolder temp;
  auto host = std::make_unique<SetupWebView>(&window, temp.path() / "UI");
  EXPECT_EQ(window.page(), host.get());
  const std::shared_ptr<PageResponder> kept = host->Responder();
  host.reset();
  EXPECT_EQ(window.page(), nullptr);
  kept->Progress(CallbackPayload{});
  kept->Complete(CallbackPayload{});
  EXPECT_TRUE(window.Events().empty());
}

}  // namespace
