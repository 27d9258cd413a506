// ZipEngine on its own: the progress rule, cancellation, and the failures of the disk around it.

#include "install/zip_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/free_space.h"
#include "install/zip_builder.h"
#include "install/zip_engine_fixture.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

// A check that keeps what it was given; its verdict is set by the test. `onMatches` runs when
// the engine asks for the verdict, after every entry was written.
struct RecordingCheck final : BytesCheck {
  struct Seen {
    std::string bytes;
    std::optional<uint64_t> size;
  };
  RecordingCheck(Seen& seen, bool verdict, std::function<void()> onMatches = {})
      : seen(seen), verdict(verdict), onMatches(std::move(onMatches)) {}
  void Add(const void* data, size_t length) override {
    seen.bytes.append(static_cast<const char*>(data), length);
  }
  bool Matches(uint64_t size) override {
    seen.size = size;
    if (onMatches) onMatches();
    return verdict;
  }
  Seen& seen;
  bool verdict;
  std::function<void()> onMatches;
};

TEST_F(ZipEngineTest, RealArchiveReportsFirstChunkThenEachWholePercent) {
  // The page contract's example on a real deflated entry: 10,000,000 bytes arrive in chunks of
  // 32,768, and progress goes out after chunks 1, 5, 9, 13, ...
  std::string data(10'000'000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>('a' + (i * 7 + i / 977) % 23);
  WriteZip(archive, {ZipFile("setup/data.bin", data)});
  Run(archive, dest);

  ASSERT_EQ(g_progress.size(), 77u);  // chunks 1, 5, ..., 305 of 305 whole ones
  for (size_t i = 0; i < g_progress.size(); ++i) {
    EXPECT_EQ(g_progress[i].done, 32768u * (1 + 4 * i)) << i;
    EXPECT_EQ(g_progress[i].todo, 10'000'000u);
    EXPECT_EQ(g_progress[i].message, "setup/data.bin");
  }
  // The last 5,760 bytes add less than a percent: the completion stays below todo.
  EXPECT_EQ(Completion().result, 0u);
  EXPECT_EQ(Completion().done, 305u * 32768u);
  EXPECT_EQ(fs::file_size(dest / "setup/data.bin"), 10'000'000u);
}

TEST_F(ZipEngineTest, CancelMidEntryKeepsWrittenBytesAndCreatesTheRestEmpty) {
  ZipTestEntry big = ZipFile("big.bin", std::string(8 << 20, 'b'));
  big.method = 0;
  WriteZip(archive, {big, ZipFile("next.bin", "non-empty"), ZipFile("empty.txt", ""),
                     ZipDirectory("folder/"), ZipFile("last.bin", "more")});
  g_cancelOnFirstProgress = engine.get();
  Run(archive, dest);

  const uint64_t kept = fs::file_size(dest / "big.bin");
  EXPECT_GT(kept, 0u);
  EXPECT_LE(kept, 32768u);  // the cancel acts within one chunk
  EXPECT_EQ(fs::file_size(dest / "next.bin"), 0u);
  EXPECT_EQ(fs::file_size(dest / "empty.txt"), 0u);
  EXPECT_EQ(fs::file_size(dest / "last.bin"), 0u);
  EXPECT_TRUE(fs::is_directory(dest / "folder"));
  // The first report, then one 1602 for each non-empty entry that stopped.
  ASSERT_EQ(g_progress.size(), 4u);
  EXPECT_EQ(g_progress[0].message, "big.bin");
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(g_progress[i].result, 1602u);
    EXPECT_EQ(g_progress[i].message, "Cancelling, please wait...");
  }
  EXPECT_EQ(Completion().result, 1602u);
  EXPECT_EQ(Completion().message, "Files not prepared");
  EXPECT_EQ(Completion().done, kept);
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(ZipEngineTest, TooLittleSpaceFailsAtOnceWith112) {
  WriteZip(archive, {ZipFile("a.bin", std::string(5000, 'a')), ZipFile("b.bin", "12345")});
  engine->spaceQuery = [](const fs::path&) -> std::optional<uint64_t> { return 4000; };
  Run(archive, dest);
  EXPECT_EQ(Completion().result, 112u);
  EXPECT_EQ(Completion().message,
            "Not enough disk space to extract: 5005 bytes needed, 4000 bytes available");
  EXPECT_EQ(Completion().todo, 5005u);
  EXPECT_TRUE(g_progress.empty());
  EXPECT_FALSE(fs::exists(dest));
  EXPECT_FALSE(fs::exists(archive));

  // The real query answers for a folder that does not exist yet.
  const std::optional<uint64_t> space = AvailableSpace(temp.path() / "not/yet/there");
  ASSERT_TRUE(space.has_value());
  EXPECT_GT(*space, 0u);
}

TEST_F(ZipEngineTest, OutputFileThatCannotBeOpenedFailsTheEntry) {
  fs::create_directories(dest / "taken.txt");  // a folder where the file should go
  WriteZip(archive, {ZipFile("first.txt", "1"), ZipFile("taken.txt", "x")});
  Run(archive, dest);
  ASSERT_EQ(g_progress.size(), 2u);
  EXPECT_EQ(g_progress[1].message, "Failed to create taken.txt");
  EXPECT_EQ(g_progress[1].result, 1632u);
  EXPECT_EQ(Completion().result, 1632u);
  EXPECT_EQ(Completion().message, "Files not prepared");
  EXPECT_FALSE(fs::exists(archive));
}

TEST_F(ZipEngineTest, FolderThatCannotBeCreatedFailsTheEntry) {
  WriteZip(archive, {ZipFile("plain", ""), ZipDirectory("d/"), ZipFile("plain/below.txt", "x")});
  Run(archive, dest);
  ASSERT_EQ(g_progress.size(), 1u);
  EXPECT_EQ(g_progress[0].message, "Failed to create plain/below.txt");
  EXPECT_EQ(g_progress[0].result, 1632u);
  EXPECT_EQ(Completion().result, 1632u);
  EXPECT_TRUE(fs::is_directory(dest / "d"));
  EXPECT_FALSE(engine->running.load());
}

TEST_F(ZipEngineTest, UndeletableSourceStillCompletesAndClearsRunning) {
  // A non-empty folder: neither an archive nor removable.
  fs::create_directories(archive / "inside");
  Run(archive, dest);
  EXPECT_EQ(Completion().result, 2u);
  EXPECT_TRUE(fs::exists(archive));
  EXPECT_FALSE(engine->running.load());
}

TEST_F(ZipEngineTest, StartsOnce) {
  WriteZip(archive, {ZipFile("a", "1")});
  Run(archive, dest);
  EXPECT_FALSE(engine->Start(archive.string(), dest.string(), "again"));
  EXPECT_FALSE(engine->running.load());
  EXPECT_EQ(engine->report.cbid, "z");
}

// Every byte of a checked archive reaches the check once and in order, read through the one
// open file: the parts the extraction read in file order on the way, the rest at the end.
TEST_F(ZipEngineTest, CheckedArchiveReachesItsCheckWholeAndInOrder) {
  ZipTestEntry stored = ZipFile("setup/stored.bin", std::string(600000, 's'));
  stored.method = 0;
  WriteZip(archive, {ZipFile("top.txt", "hello"), stored, ZipDirectory("setup/empty/"),
                     ZipFile("setup/deflated.bin", std::string(300000, 'd'))});
  const std::string bytes = ReadFileBytes(archive);
  RecordingCheck::Seen seen;
  engine->archiveCheck = std::make_unique<RecordingCheck>(seen, true);
  Run(archive, dest);

  EXPECT_EQ(Completion().result, 0u);
  EXPECT_TRUE(engine->checkedAndComplete.load());
  EXPECT_EQ(seen.size, bytes.size());
  EXPECT_TRUE(seen.bytes == bytes);
  EXPECT_EQ(fs::file_size(dest / "setup/stored.bin"), 600000u);
}

// Bytes the check refuses: the run ends with the trust code, and whatever it wrote is removed
// again, one path at a time; a file someone else put in its folders meanwhile stays.
TEST_F(ZipEngineTest, RefusedArchiveLeavesNothingOfItsOwnBehind) {
  WriteZip(archive, {ZipFile("top.txt", "hello"), ZipFile("a/b.txt", "b"),
                     ZipFile("a/c/d.txt", "d"), ZipDirectory("e/")});
  RecordingCheck::Seen seen;
  engine->archiveCheck = std::make_unique<RecordingCheck>(
      seen, false, [this] { WriteFileBytes(dest / "a" / "theirs.txt", "not ours"); });
  Run(archive, dest);

  EXPECT_EQ(Completion().result, 24592u);
  EXPECT_EQ(Completion().message,
            "The archive changed after it was verified and is not extracted: " + archive.string());
  EXPECT_FALSE(engine->checkedAndComplete.load());
  EXPECT_FALSE(fs::exists(dest / "top.txt"));
  EXPECT_FALSE(fs::exists(dest / "a" / "b.txt"));
  EXPECT_FALSE(fs::exists(dest / "a" / "c"));
  EXPECT_FALSE(fs::exists(dest / "e"));
  EXPECT_EQ(ReadFileBytes(dest / "a" / "theirs.txt"), "not ours");
  EXPECT_FALSE(fs::exists(archive));  // deleted as after any run
}

}  // namespace
