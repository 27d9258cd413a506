// The GTK window on a virtual display of its own: posting from many threads, the order and
// ownership of posted scripts, showing from a worker, the close button and destruction.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_proc.h"
#include "app/setup_web_view.h"
#include "app/window_gtk.h"
#include "app/window_messages.h"
#include "app/window_responder.h"
#include "bridge/page_callbacks.h"
#include "support/fake_web_view.h"
#include "support/test_environment.h"

extern char** environ;

namespace {

// Xvfb choosing its own display number (-displayfd), so parallel tests never collide.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);  // dup2 clears close-on-exec
    std::vector<std::string> args = {"Xvfb", "-displayfd",  "3",         "-screen",
                                     "0",    "1280x800x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
      pid_ = -1;
      ::close(fds[0]);
      return;
    }
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number_ += c;
    ::close(fds[0]);
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  std::string name() const { return number_.empty() ? "" : ":" + number_; }

 private:
  pid_t pid_ = -1;
  std::string number_;
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!gtk_events_pending()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  }
  return true;
}

class GtkWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = new VirtualDisplay();
    if (display_->name().empty()) return;
    setenv("DISPLAY", display_->name().c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    ready_ = gtk_init_check(nullptr, nullptr);
  }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "no virtual display (Xvfb)";
    window_ = std::make_unique<GtkNativeWindow>();
    host_ = std::make_unique<SetupWebView>(window_.get(), temp_.path() / "UI");
    auto view = std::make_unique<FakeWebView>();
    webView_ = view.get();
    host_->OnWebViewReady(std::move(view));
  }
  void TearDown() override {
    if (!ready_) return;
    host_.reset();  // first: it detaches itself from its window
    window_.reset();
  }

  static VirtualDisplay* display_;
  static bool ready_;
  TemporaryFolder temp_;
  std::unique_ptr<GtkNativeWindow> window_;
  std::unique_ptr<SetupWebView> host_;
  FakeWebView* webView_ = nullptr;
};

VirtualDisplay* GtkWindowTest::display_ = nullptr;
bool GtkWindowTest::ready_ = false;

// The "thread:index" scripts inside what the web view evaluated, batches taken apart.
std::vector<std::string> ScriptsRun(const std::vector<std::string>& evaluations) {
  std::vector<std::string> scripts;
  for (const std::string& evaluation : evaluations) {
    std::istringstream lines(evaluation);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
        scripts.push_back(line);
      }
    }
  }
  return scripts;
}

TEST_F(GtkWindowTest, ScriptsFromManyThreadsArriveOnceEachInPostingOrder) {
  constexpr int kThreads = 6;
  constexpr int kScripts = 400;
  const std::thread::id windowThread = std::this_thread::get_id();
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([this, t] {
      for (int i = 0; i < kScripts; ++i) {
        EXPECT_TRUE(PostScriptTo(*window_, std::to_string(t) + ":" + std::to_string(i)));
      }
    });
  }
  ASSERT_TRUE(
      PumpUntil([&] { return ScriptsRun(webView_->scripts).size() >= kThreads * kScripts; }));
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(std::this_thread::get_id(), windowThread);  // FakeWebView ran them here
  const std::vector<std::string> scripts = ScriptsRun(webView_->scripts);
  EXPECT_EQ(scripts.size(), static_cast<size_t>(kThreads * kScripts));
  std::vector<int> next(kThreads, 0);
  for (const std::string& script : scripts) {
    const int thread = std::stoi(script.substr(0, script.find(':')));
    EXPECT_EQ(std::stoi(script.substr(script.find(':') + 1)), next[thread]++) << script;
  }
}

TEST_F(GtkWindowTest, ABurstQueuedBeforeTheLoopRunsIsOneEvaluation) {
  // Shown in between, as a completion shows the window before its script: the script behind it
  // starts a second evaluation.
  for (int i = 0; i < 500; ++i) EXPECT_TRUE(PostScriptTo(*window_, "0:" + std::to_string(i)));
  std::thread([this] { window_->Show(); }).join();
  EXPECT_TRUE(PostScriptTo(*window_, "1:0"));
  ASSERT_TRUE(PumpUntil([&] { return ScriptsRun(webView_->scripts).size() == 501; }));
  ASSERT_EQ(webView_->scripts.size(), 2u);
  EXPECT_EQ(ScriptsRun({webView_->scripts[0]}).size(), 500u);
  EXPECT_EQ(webView_->scripts[1], "1:0");
}

TEST_F(GtkWindowTest, APostIsNeverHandledInsideThePosterOnTheWindowThread) {
  // A handler that posts (doClose does) must return before its message runs.
  EXPECT_TRUE(PostScriptTo(*window_, "queued"));
  EXPECT_TRUE(webView_->scripts.empty());
  ASSERT_TRUE(PumpUntil([&] { return webView_->scripts.size() == 1; }));
}

TEST_F(GtkWindowTest, ShowFromAWorkerIsSeenAtOnceAndCarriedOutOnTheWindowThread) {
  window_->Hide();
  EXPECT_FALSE(window_->IsVisible());
  std::thread([this] { window_->Show(); }).join();
  EXPECT_TRUE(window_->IsVisible());
  ASSERT_TRUE(PumpUntil([] {
    GList* toplevels = gtk_window_list_toplevels();
    bool mapped = false;
    for (GList* l = toplevels; l != nullptr; l = l->next) {
      mapped = mapped || gtk_widget_get_mapped(GTK_WIDGET(l->data));
    }
    g_list_free(toplevels);
    return mapped;
  }));
}

TEST_F(GtkWindowTest, OuterSizeIsExactlyTheAskedOne) {
  window_->Show();
  GtkWidget* toplevel = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l != nullptr; l = l->next) {
      if (gtk_widget_get_mapped(GTK_WIDGET(l->data))) toplevel = GTK_WIDGET(l->data);
    }
    g_list_free(toplevels);
    return toplevel != nullptr;
  }));
  GdkRectangle frame{};
  ASSERT_TRUE(PumpUntil(
      [&] {
        gdk_window_get_frame_extents(gtk_widget_get_window(toplevel), &frame);
        return frame.width == 520 && frame.height == 420;
      },
      5000))
      << frame.width << "x" << frame.height;
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(toplevel)));
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(toplevel)), "");
}

TEST_F(GtkWindowTest, CloseButtonAsksThePageAndDestroyRefusesLaterPosts) {
  // The main window is the top-level with a client-side title bar.
  GtkWindow* main = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* l = toplevels; l != nullptr; l = l->next) {
    if (gtk_window_get_titlebar(GTK_WINDOW(l->data)) != nullptr) main = GTK_WINDOW(l->data);
  }
  g_list_free(toplevels);
  ASSERT_NE(main, nullptr);
  window_->Show();
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(main)); }));
  gtk_window_close(main);  // as a window manager's close button does
  ASSERT_TRUE(PumpUntil([&] { return webView_->scripts.size() == 1; }));
  EXPECT_EQ(webView_->scripts[0], kRequestCloseScript);

  // Queued when the window goes: dropped and freed (the sanitizer build checks the freeing).
  EXPECT_TRUE(PostScriptTo(*window_, "never runs"));
  EXPECT_TRUE(window_->Post(WM_DESTROY_NOW, 0, 0));
  EXPECT_TRUE(PostScriptTo(*window_, "never runs either"));
  // Reorder: destroy first by handling it directly, as the loop would have.
  MainWindowProc(*window_, WM_DESTROY_NOW, 0, 0);
  EXPECT_FALSE(window_->IsVisible());
  EXPECT_FALSE(PostScriptTo(*window_, "after destruction"));
  EXPECT_FALSE(window_->Post(WM_CLOSE, 0, 0));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(webView_->scripts.size(), 1u);
}

}  // namespace
