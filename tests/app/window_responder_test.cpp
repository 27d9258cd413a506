#include "app/window_responder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/native_window.h"
#include "base/page_results.h"
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

// The taskbar shows the newest share of the running action; a failure of such an action and
// the end of a setup ask for the user, a cancel or a failed inline action do not.
TEST_F(WindowResponderTest, TheTaskbarFollowsTheWorkAndFailuresAskForTheUser) {
  HostHarness h;
  const auto shown = [&h] {
    h.window.PumpAll();
    std::vector<std::string> taskbar;
    for (const std::string& event : h.window.Events()) {
      if (event.starts_with("progress:") || event == "attention") taskbar.push_back(event);
    }
    return taskbar;
  };
  CallbackPayload report;
  report.cbid = "d";
  report.jsp = "onDownloadProgress";
  report.todo = 1000;
  for (report.done = 100; report.done <= 300; report.done += 100) h.responder().Progress(report);
  EXPECT_EQ(shown(), (std::vector<std::string>{"progress:300"}));  // one message, the newest

  CallbackPayload cancelled = report;
  cancelled.result = page_result::kCancelled;
  h.responder().Complete(cancelled);
  CallbackPayload inlineFailure;
  inlineFailure.result = page_result::kInvalidParameter;
  h.responder().Complete(inlineFailure);
  EXPECT_EQ(shown(), (std::vector<std::string>{"progress:300", "progress:none"}));

  CallbackPayload failed = report;
  failed.result = page_result::kDiskFull;
  h.responder().Complete(failed);
  h.responder().RequestAttention();
  EXPECT_EQ(shown(), (std::vector<std::string>{"progress:300", "progress:none", "progress:none",
                                               "attention", "attention"}));
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
