#include "install/launch_test_support.h"

#include <string>
#include <vector>

#include "app/setup_web_view.h"
#include "app/window_messages.h"
#include "base/utf8_path.h"
#include "log/logger.h"

namespace fs = std::filesystem;

fs::path LaunchProbePath() {
  return CurrentExecutablePath().parent_path() / VLM_LAUNCH_PROBE_NAME;
}

LaunchActionTest::LaunchActionTest() {
  fs::create_directories(dir);
}

fs::path LaunchActionTest::Place(const std::string& relative, const fs::path& source) {
  const fs::path path = dir / PathFromUtf8(relative);
  fs::create_directories(path.parent_path());
  fs::copy_file(source, path, fs::copy_options::overwrite_existing);
  return path;
}

nlohmann::json LaunchActionTest::Launch(nlohmann::json message) {
  message["action"] = "doLaunchSetup";
  if (!message.contains("callbackId")) message["callbackId"] = "l1";
  const size_t before = h.Completions().size();
  h.Post(message.dump());
  const std::vector<PageCallback> completions = h.Completions();
  EXPECT_EQ(completions.size(), before + 1);
  return completions.empty() ? nlohmann::json() : completions.back().payload;
}

uint32_t LaunchActionTest::LaunchResult(const std::string& launcherName) {
  return Launch({{"unzipdir", PathToUtf8(dir)}, {"launcherName", launcherName}})["result"];
}

void LaunchActionTest::ExpectHiddenThenShown() {
  std::vector<std::string> events = h.window.Events();
  // A setup that ran also asks for the user's attention.
  std::erase(events, "post:" + std::to_string(WM_ATTENTION));
  std::erase(events, "attention");
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"hide", "show", "post:1125"}));
  EXPECT_TRUE(h.window.IsVisible());
}

std::vector<std::string> LaunchActionTest::LauncherLogLines() {
  std::vector<std::string> lines;
  for (const LogEntry& e : Logger::GetRecentEntries(1000, true)) {
    if (e.category == "Engine.AppLauncher") lines.push_back(e.level + " " + e.message);
  }
  return lines;
}
