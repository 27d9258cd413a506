#include "app/startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main_window_proc.h"
#include "app/setup_web_view.h"
#include "app/web_view.h"
#include "app/window_messages.h"
#include "base/work_in_flight.h"
#include "diag/diag_actions.h"
#include "support/fake_window.h"
#include "support/logger_fixture.h"

namespace {

// Locks with scripted answers; records the order of calls.
class ScriptedLocks : public InstanceLocks {
 public:
  bool IsHeldElsewhere(const char* name) override {
    calls.push_back(std::string("probe:") + name);
    return probedHeld;
  }
  bool Hold(const char* name) override {
    calls.push_back(std::string("hold:") + name);
    return holdSucceeds;
  }
  bool probedHeld = false;
  bool holdSucceeds = true;
  std::vector<std::string> calls;
};

TEST(SingleInstanceTest, EitherLockTakenMeansAlreadyRunningAndNoWindow) {
  const std::string probe = std::string("probe:") + kProbedInstanceLockName;
  const std::string hold = std::string("hold:") + kHeldInstanceLockName;
  int windows = 0;
  const auto run = [&] {
    ++windows;
    return 0;
  };

  ScriptedLocks firstTaken;
  firstTaken.probedHeld = true;
  EXPECT_EQ(RunSingleInstance(firstTaken, run), 183);
  EXPECT_EQ(firstTaken.calls, std::vector<std::string>({probe}));  // the second is never taken

  ScriptedLocks secondTaken;
  secondTaken.holdSucceeds = false;
  EXPECT_EQ(RunSingleInstance(secondTaken, run), 183);
  EXPECT_EQ(secondTaken.calls, std::vector<std::string>({probe, hold}));
  EXPECT_EQ(windows, 0);

  ScriptedLocks free;
  EXPECT_EQ(RunSingleInstance(free,
                              [&] {
                                // The held lock is taken before the window exists.
                                EXPECT_EQ(free.calls.size(), 2u);
                                return 1;
                              }),
            1);
  EXPECT_EQ(free.calls, std::vector<std::string>({probe, hold}));
}

// An issue report still being posted when the window's loop ends is not cut off by the
// process's end: the start-up returns only after the report's worker let go.
TEST(SingleInstanceTest, TheEndWaitsForAnIssueReportStillOnItsWay) {
  ScriptedLocks free;
  std::atomic<bool> posted{false};
  std::thread poster;
  EXPECT_EQ(RunSingleInstance(free,
                              [&] {
                                auto report = IssueReportsInFlight().Begin();
                                poster = std::thread([&posted, report = std::move(report)] {
                                  std::this_thread::sleep_for(std::chrono::milliseconds(300));
                                  posted = true;
                                });
                                return 0;
                              }),
            0);
  EXPECT_TRUE(posted.load());
  poster.join();
}

// An environment whose web view arrives when the test says so.
class ManualEnvironment : public WebViewEnvironment {
 public:
  void CreateWebView(NativeWindow& window, ReadyCallback callback) override {
    target = &window;
    ready = std::move(callback);
  }
  NativeWindow* target = nullptr;
  ReadyCallback ready;
};

class StartHostTest : public LoggerFixture {
 protected:
  void TearDown() override {
    delete started_;
    LoggerFixture::TearDown();
  }
  SetupWebView* started_ = nullptr;
};

TEST_F(StartHostTest, WebViewArrivesLaterAndIsSetUpBeforeNavigating) {
  HostHarness h(/*webViewReady=*/false);
  ManualEnvironment environment;
  ScopedEnvironmentVariable dev("VLM_IS_DEV", std::nullopt);
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", std::nullopt);

  started_ = &StartHost(h.window, environment);
  EXPECT_EQ(h.window.page(), started_);
  EXPECT_EQ(started_->window(), &h.window);
  EXPECT_EQ(environment.target, &h.window);
  EXPECT_EQ(started_->UiFolder().filename(), "UI");
  EXPECT_EQ(EntriesAt("INFO", "SetupWebView::Initialize called").size(), 1u);
  EXPECT_TRUE(EntriesAt("INFO", "WebView navigated to start page").empty());

  auto view = std::make_unique<FakeWebView>();
  FakeWebView* fake = view.get();
  view->contextMenusEnabled = view->devToolsEnabled = true;  // the platform's defaults
  environment.ready(std::move(view));
  EXPECT_EQ(started_->web_view(), fake);
  EXPECT_FALSE(fake->contextMenusEnabled);
  EXPECT_FALSE(fake->devToolsEnabled);
  EXPECT_EQ(fake->mappedHost, "quillfetch.localhost");
  EXPECT_EQ(fake->mappedFolder, started_->UiFolder());
  EXPECT_TRUE(fake->filledWindow);
  EXPECT_EQ(fake->calls,
            std::vector<std::string>(
                {"handler", "clearCache", "navigate:https://quillfetch.localhost/index.html"}));
  EXPECT_EQ(EntriesAt("INFO", "WebView navigated to start page").size(), 1u);
  // Registered before navigating: a message of the first load reaches the dispatcher.
  EXPECT_TRUE(fake->PostFromPage(R"({"action":"doCancel","callbackId":"early"})"));
  delete std::exchange(started_, nullptr);  // before its window
}

TEST_F(StartHostTest, DevVariableSwitchesContextMenusAndDevTools) {
  HostHarness h(/*webViewReady=*/false);
  ManualEnvironment environment;
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  started_ = &StartHost(h.window, environment);
  auto view = std::make_unique<FakeWebView>();
  FakeWebView* fake = view.get();
  environment.ready(std::move(view));
  EXPECT_TRUE(fake->contextMenusEnabled);
  EXPECT_TRUE(fake->devToolsEnabled);
  delete std::exchange(started_, nullptr);  // before its window
}

TEST_F(StartHostTest, FailedWebViewLeavesTheCloseButtonWorking) {
  HostHarness h(/*webViewReady=*/false);
  ManualEnvironment environment;
  started_ = &StartHost(h.window, environment);
  environment.ready(nullptr);
  EXPECT_EQ(started_->web_view(), nullptr);
  h.window.Post(WM_CLOSE, 0, 0);
  h.window.PumpAll();
  EXPECT_TRUE(h.window.destroyed());
  EXPECT_EQ(h.window.quitCode(), 0);
  delete std::exchange(started_, nullptr);  // before its window
}

class ElevatedWithoutKeyTest : public LoggerFixture {};

// These tests are built without a key: elevated, the host warns that nothing is verified.
TEST_F(ElevatedWithoutKeyTest, TheHostWarnsOnlyWhenElevated) {
  FakeWindow window;
  TemporaryFolder temp;
  for (const bool elevated : {false, true}) {
    ScopedElevation elevation(elevated);
    SetupWebView host(&window, temp.path() / "UI");
    EXPECT_EQ(EntriesAt("WARN", "Running with administrator rights without a built-in key").size(),
              elevated ? 1u : 0u);
  }
}

}  // namespace
