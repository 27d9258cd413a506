#include "app/main_window_proc.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/native_window.h"
#include "app/window_messages.h"
#include "app/window_responder.h"
#include "support/logger_fixture.h"
#include "support/page_scripts.h"

namespace {

class MainWindowProcTest : public LoggerFixture {};

TEST_F(MainWindowProcTest, CloseAsksALivePageAndKeepsTheWindow) {
  HostHarness h;
  h.window.Post(WM_CLOSE, 0, 0);
  h.window.PumpAll();
  ASSERT_EQ(h.webView->scripts.size(), 1u);
  EXPECT_EQ(h.webView->scripts[0], "window.requestClose && window.requestClose('{}');");
  EXPECT_FALSE(h.window.destroyed());
  EXPECT_EQ(h.window.quitCode(), -1);
}

TEST_F(MainWindowProcTest, CloseDestroysWhenNoPageCanAnswer) {
  {
    HostHarness beforeReady(/*webViewReady=*/false);
    beforeReady.window.Post(WM_CLOSE, 0, 0);
    beforeReady.window.PumpAll();
    EXPECT_TRUE(beforeReady.window.destroyed());
    EXPECT_EQ(beforeReady.window.quitCode(), 0);
  }
  {
    HostHarness deadPage;
    deadPage.webView->pageAlive = false;
    deadPage.window.Post(WM_CLOSE, 0, 0);
    deadPage.window.PumpAll();
    EXPECT_TRUE(deadPage.webView->scripts.empty());
    EXPECT_TRUE(deadPage.window.destroyed());
    EXPECT_EQ(deadPage.window.quitCode(), 0);
  }
  {
    HostHarness noHost;
    // The close button before start-up made the host.
    noHost.window.DetachPage(noHost.host.get());
    noHost.window.Post(WM_CLOSE, 7, 9);
    ASSERT_TRUE(noHost.window.PumpOne());
    const auto pending = noHost.window.Pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].message, WM_DESTROY_NOW);
    EXPECT_EQ(pending[0].wParam, 7u);
    EXPECT_EQ(pending[0].lParam, 9);
    noHost.window.PumpAll();
    EXPECT_TRUE(noHost.window.destroyed());
    noHost.window.AttachPage(noHost.host.get());
  }
}

TEST_F(MainWindowProcTest, EachCloseRequestAsksThePageExactlyOnce) {
  HostHarness h;
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  h.window.PumpAll();
  EXPECT_EQ(h.webView->scripts.size(), 1u);
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  h.window.PumpAll();
  ASSERT_EQ(h.webView->scripts.size(), 3u);
  for (const std::string& script : h.webView->scripts) EXPECT_EQ(script, kRequestCloseScript);
  EXPECT_FALSE(h.window.destroyed());
}

TEST_F(MainWindowProcTest, ScriptsRunOnlyOnceTheWebViewIsReady) {
  HostHarness h(/*webViewReady=*/false);
  // Dropped and freed (the sanitizer build checks the freeing).
  EXPECT_TRUE(PostScriptTo(h.window, "early();"));
  // Zero carries nothing: nothing runs, nothing is freed.
  EXPECT_TRUE(MainWindowProc(h.window, WM_RUN_SCRIPT, 0, 0));
  h.window.PumpAll();

  auto view = std::make_unique<FakeWebView>();
  FakeWebView* fake = view.get();
  h.host->OnWebViewReady(std::move(view));
  EXPECT_TRUE(MainWindowProc(h.window, WM_RUN_SCRIPT, 0, 0));
  EXPECT_TRUE(PostScriptTo(h.window, "late();"));
  h.window.PumpAll();
  ASSERT_EQ(fake->scripts.size(), 1u);
  EXPECT_EQ(fake->scripts[0], "late();");
}

TEST_F(MainWindowProcTest, QueuedScriptsRunTogetherInOrderWithoutPassingOtherMessages) {
  HostHarness h;
  h.window.TakeQueuedMessages();
  for (const char* script : {"a();", "b();", "c();"}) EXPECT_TRUE(PostScriptTo(h.window, script));
  h.window.Post(WM_RUN_SCRIPT, 0, 0);  // carries nothing: skipped, the burst goes on
  EXPECT_TRUE(PostScriptTo(h.window, "d();"));
  h.window.Post(WM_CLOSE_REQUEST, 0, 0);
  EXPECT_TRUE(PostScriptTo(h.window, "e();"));
  h.window.PumpAll();
  // The close request is not overtaken: "e();" waits for it, and its requestClose script
  // (posted behind "e();") runs after it.
  EXPECT_EQ(h.webView->scripts,
            (std::vector<std::string>{BatchScripts({"a();", "b();", "c();", "d();"}), "e();",
                                      kRequestCloseScript}));

  // Each script of a batch on lines of its own, in order, once.
  const std::string& batch = h.webView->scripts[0];
  size_t at = 0;
  for (const char* script : {"\na();\n", "\nb();\n", "\nc();\n", "\nd();\n"}) {
    const size_t found = batch.find(script, at);
    ASSERT_NE(found, std::string::npos) << script;
    EXPECT_EQ(batch.find(script, found + 1), std::string::npos) << script;
    at = found;
  }
}

TEST_F(MainWindowProcTest, ABurstIsCutIntoEvaluationsOfBoundedSize) {
  HostHarness h;
  h.window.TakeQueuedMessages();
  const std::string half(kScriptBatchBytes / 2, 'x');
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(PostScriptTo(h.window, half));
  h.window.PumpAll();
  ASSERT_EQ(h.webView->scripts.size(), 2u);
  EXPECT_EQ(h.webView->scripts[0], BatchScripts({half, half}));
  EXPECT_EQ(h.webView->scripts[1], half);
}

TEST_F(MainWindowProcTest, DestroyNowEndsTheLoopAndLaterPostsAreRefused) {
  HostHarness h;
  h.window.Post(WM_DESTROY_NOW, 0, 0);
  h.window.PumpAll();
  EXPECT_TRUE(h.window.destroyed());
  EXPECT_EQ(h.window.quitCode(), 0);
  EXPECT_FALSE(PostScriptTo(h.window, "afterwards();"));  // freed by the poster, not leaked
  EXPECT_TRUE(h.webView->scripts.empty());
}

TEST_F(MainWindowProcTest, OtherMessagesAreLeftToThePlatform) {
  HostHarness h;
  EXPECT_FALSE(MainWindowProc(h.window, WM_USER, 0, 0));
  EXPECT_FALSE(MainWindowProc(h.window, 0x0005 /* WM_SIZE */, 0, 0));
  EXPECT_TRUE(h.window.Pending().empty());
}

TEST_F(MainWindowProcTest, ClosingThroughThePageFollowsTheProtocol) {
  HostHarness h;
  // The close button asks; a page that always agrees answers each question with doClose. The
  // first doClose starts a clean-up, so the host asks again until it is idle.
  h.window.Post(WM_CLOSE, 0, 0);
  h.window.PumpAll();
  size_t answered = 0;
  const bool closed = h.PumpUntil([&] {
    while (answered < h.webView->scripts.size()) {
      if (h.webView->scripts[answered++] == kRequestCloseScript) {
        h.host->OnWebMessageReceived(R"({"action":"doClose"})");
      }
    }
    return h.window.destroyed();
  });
  EXPECT_TRUE(closed);
  EXPECT_EQ(h.window.quitCode(), 0);
  EXPECT_GE(answered, 1u);
}

}  // namespace
