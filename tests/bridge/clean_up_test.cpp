#include "bridge/clean_up_test.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "download/download_engine.h"

namespace {

TEST_F(CleanUpTest, NothingToRemoveAnswersAnEmptyList) {
  EXPECT_EQ(CleanUpAndWait("c0"), nlohmann::json::array());
}

TEST_F(CleanUpTest, RemovesEveryFolderAndListsEveryPathAgainLater) {
  const std::string one = MakeTree("{ONE}");
  const std::string two = MakeTree("{TWO}");
  const std::string missing = (h.temp.path() / "never-made").generic_string();
  h.host->WorkingFolders() = {one, missing, two};

  EXPECT_EQ(CleanUpAndWait("c1"), nlohmann::json({one, missing, two}));
  EXPECT_FALSE(fs::exists(one));
  EXPECT_FALSE(fs::exists(two));
  EXPECT_EQ(CleanUpAndWait("c2"), nlohmann::json({one, missing, two}));
  EXPECT_EQ(h.host->WorkingFolders().size(), 3u);
}

TEST_F(CleanUpTest, FoldersNamedOutsideTheAnsiCodePageAreRemoved) {
  // The list holds UTF-8 text; read in another code page, the folder would not be found.
  const std::string folder = MakeTree("\xC5\xBBo\xC5\x82\xC4\x85 \xCE\xB1\xCE\xB2");
  h.host->WorkingFolders() = {folder};
  CleanUpAndWait("c6");
  EXPECT_FALSE(fs::exists(PathFromUtf8(folder)));
}

TEST_F(CleanUpTest, ReadOnlyTreesAreRemoved) {
  const std::string root = MakeTree("{READONLY}");
  fs::permissions(fs::path(root) / "a" / "b" / "file.bin", fs::perms::owner_read);
  constexpr fs::perms kReadAndEnter = fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(fs::path(root) / "a" / "b", kReadAndEnter);
  fs::permissions(fs::path(root) / "a", kReadAndEnter);
  h.host->WorkingFolders() = {root};
  CleanUpAndWait("c4");
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(CleanUpTest, OnlyOneCleanUpAtATimeAndEmptyIdsStaySilent) {
  *h.host->CleaningUp() = true;  // one is running
  h.Post(R"({"action":"doCleanUp","callbackId":"dropped"})");
  EXPECT_TRUE(h.window.Pending().empty());
  *h.host->CleaningUp() = false;

  h.Post(R"({"action":"doCleanUp"})");
  ASSERT_TRUE(h.PumpUntil([&] { return !*h.host->CleaningUp(); }));
  EXPECT_TRUE(h.Completions().empty());
}

TEST_F(CleanUpTest, AppendsWhileACleanUpWalksAreSafe) {
  for (int i = 0; i < 20; ++i)
    h.host->WorkingFolders().push_back(MakeTree("{T" + std::to_string(i) + "}"));
  h.host->OnWebMessageReceived(R"({"action":"doCleanUp","callbackId":"walk"})");
  for (int i = 0; i < 2000; ++i)
    h.host->WorkingFolders().push_back("/nonexistent/" + std::to_string(i));
  ASSERT_TRUE(h.PumpUntil([&] { return !h.Completions().empty(); }));
  // The walk saw the list as it was when the clean-up started.
  EXPECT_EQ(nlohmann::json::parse(h.Completions()[0].payload["message"].get<std::string>()).size(),
            20u);
}

TEST_F(CleanUpTest, WaitsForACancelledEngineToStopBeforeRemovingItsFolder) {
  const std::string root = MakeTree("{WINDING-DOWN}");
  h.host->WorkingFolders() = {root};
  auto engine = std::make_shared<DownloadEngine>();
  engine->running = true;  // a worker that was asked to stop and is still writing
  h.host->DownloadWorker() = engine;

  h.Post(R"({"action":"doClose"})");  // cancels, then starts the clean-up
  ASSERT_TRUE(engine->cancelRequested);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(fs::exists(root)) << "removed while its engine was still running";
  EXPECT_TRUE(h.host->IsBusy());

  engine->running = false;
  ASSERT_TRUE(h.PumpUntil([&] { return !*h.host->CleaningUp(); }));
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(CleanUpTest, DoesNotWaitForEnginesThatWereNotCancelled) {
  const std::string root = MakeTree("{RUNNING}");
  h.host->WorkingFolders() = {root};
  auto engine = std::make_shared<DownloadEngine>();
  engine->running = true;
  h.host->DownloadWorker() = engine;
  CleanUpAndWait("c6");
  EXPECT_FALSE(fs::exists(root));
  engine->running = false;
}

}  // namespace
