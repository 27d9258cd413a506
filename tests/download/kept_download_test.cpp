#include <gtest/gtest.h>

#include "download/kept_downloads.h"
#include "download/transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTarget[] =
    "/bucket.s3.amazonaws.com/archive.zip?X-Amz-Algorithm=A&X-Amz-Signature=";

// Direct downloads with a store of kept bytes, against one server for every attempt (the key
// holds the host and port).
class KeptDownloadTest : public TransferFixture {
 protected:
  CallbackPayload DownloadAgain(const std::string& url, bool resume = true) {
    completions.clear();
    engine = MakeEngine(url, Destination());
    engine->keptDownloadsFolder = kept.path();
    engine->resume = resume;
    engine->Run();
    std::lock_guard lock(mutex);
    return completions.empty() ? CallbackPayload() : completions.back();
  }

  // Keeps `bytes` as the archive at `url` as a stopped download would have: the first `size`
  // of them, and the `ahead` runs of them.
  void KeepBytes(const std::string& url, const std::string& bytes, const std::string& validator,
                 std::vector<std::pair<uint64_t, uint64_t>> ahead = {}) {
    const fs::path part = folder.path() / "stopped.part";
    std::ofstream(part, std::ios::binary) << bytes;
    KeptDownloads store(kept.path());
    const uint64_t size = ahead.empty() ? bytes.size() : ahead.front().first / 2;
    ASSERT_TRUE(store.Keep(KeptDownloads::KeyFor(Utf8ToUtf16(url), std::nullopt, ""), part,
                           KeptDownload{size, body.size(), validator, std::move(ahead)}));
  }

  size_t KeptFiles() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(kept.path()), {}));
  }

  TemporaryFolder kept;
};

// The network goes away at 60 %: what arrived stays, and asking again (with a renewed
// signature) fetches only the rest, checked with If-Range.
TEST_F(KeptDownloadTest, AStoppedDownloadContinuesWithOnlyTheRest) {
  MakeBody(1'000'000);
  FaultHttpServer server({"--body-file", (folder.path() / "body.bin").string(), "--etag", "\"v1\"",
                          "--cut-after", "600000", "--then-status", "403"});
  const CallbackPayload stopped = DownloadAgain(server.Url(std::string(kTarget) + "first"));
  EXPECT_EQ(stopped.result, 403u);   // the retry found the link expired
  EXPECT_EQ(stopped.kept, 600000u);  // the page can say what the next download keeps
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(KeptFiles(), 2u);
  ASSERT_EQ(EntriesAt("INFO", "Kept ").size(), 1u);
  EXPECT_EQ(EntriesAt("INFO", "Kept ")[0].message,
            "Kept 600000 of 1000000 bytes to continue later");
  const uint64_t firstAttempt = server.BodyBytesSent();
  EXPECT_EQ(firstAttempt, 600000u);

  progress.clear();
  const CallbackPayload done = DownloadAgain(server.Url(std::string(kTarget) + "renewed"));
  ASSERT_EQ(done.result, 0u) << done.message;
  EXPECT_EQ(FileContent(Destination()), body);
  EXPECT_EQ(server.BodyBytesSent() - firstAttempt, 400000u);
  const nlohmann::json last = server.Requests().back();
  EXPECT_EQ(last["target"], std::string(kTarget) + "renewed");
  EXPECT_EQ(last["headers"]["range"], "bytes=600000-");
  EXPECT_EQ(last["headers"]["if-range"], "\"v1\"");
  // The page sees the kept bytes at once, and the total throughout.
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().done, 600000u);
  for (const CallbackPayload& p : progress) {
    EXPECT_EQ(p.todo, 1'000'000u);
    EXPECT_EQ(p.continuesFrom, 600000u);
  }
  EXPECT_EQ(done.kept, 0u);
  EXPECT_EQ(KeptFiles(), 0u);
}

// Kept bytes of another version of the file, or ones the page asks not to use, cost a whole
// download and never end up in the archive.
TEST_F(KeptDownloadTest, AChangedFileOrResumeFalseStartsOver) {
  MakeBody(700'000);
  const struct {
    std::vector<std::string> validator;  // the server's
    bool resume;
  } cases[] = {
      {{"--etag", "\"v2\""}, true},                                  // If-Range fails: 200
      {{"--last-modified", "Tue, 01 Dec 2026 10:00:00 GMT"}, true},  // the date differs
      {{"--etag", "\"v1\""}, false},                                 // the page said so
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.validator.back() + (c.resume ? "" : " resume:false"));
    std::vector<std::string> options = {"--body-file", (folder.path() / "body.bin").string()};
    options.insert(options.end(), c.validator.begin(), c.validator.end());
    FaultHttpServer server(options);
    const std::string url = server.Url(kTarget);
    KeepBytes(url, std::string(300000, 'x'), "\"v1\"");
    const CallbackPayload done = DownloadAgain(url, c.resume);
    ASSERT_EQ(done.result, 0u) << done.message;
    EXPECT_EQ(FileContent(Destination()), body);
    EXPECT_EQ(server.BodyBytesSent(), body.size());
    EXPECT_EQ(KeptFiles(), 0u);
    fs::remove_all(Destination().parent_path());
  }
}

// A download over several connections stopped with bytes beyond a gap: going on, only the gaps
// are asked for.
TEST_F(KeptDownloadTest, BytesFetchedAheadAreKeptAndNotFetchedAgain) {
  MakeBody(20 << 20);
  FaultHttpServer server(
      {"--body-file", (folder.path() / "body.bin").string(), "--etag", "\"v1\""});
  const std::string url = server.Url(kTarget);
  const uint64_t island = 10 << 20, islandEnd = 14 << 20;
  std::string kept = body.substr(0, islandEnd);
  std::fill(kept.begin() + (island / 2), kept.begin() + island, '\0');  // the gap
  KeepBytes(url, kept, "\"v1\"", {{island, islandEnd}});

  engine = MakeEngine(url, Destination());
  engine->keptDownloadsFolder = this->kept.path();
  engine->connections = 4;
  engine->Run();
  ASSERT_EQ(completions.size(), 1u);
  ASSERT_EQ(completions[0].result, 0u) << completions[0].message;
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_EQ(EntriesAt("INFO", "Continuing")[0].message,
            "Continuing a kept download: 9437184 of 20971520 bytes on disk");
  for (const nlohmann::json& request : server.Requests()) {
    const std::string range = request["headers"]["range"];
    const uint64_t first = std::stoull(range.substr(6));
    EXPECT_TRUE(first < island || first >= islandEnd) << range;
    if (range.back() != '-' && first < island) {
      EXPECT_LT(std::stoull(range.substr(range.find('-') + 1)), island) << range;
    }
  }
}

// Old entries, parts without their description and the oldest beyond the cap go; the newest
// stays even when it alone is larger than the cap.
TEST(KeptDownloadsTest, LimitsRemoveTheOldAndTheStray) {
  TemporaryFolder folder;
  const auto keep = [&](const std::string& name, uint64_t size) {
    const fs::path part = folder.path() / "incoming";
    std::ofstream(part).put('x');
    fs::resize_file(part, size);
    KeptDownloads store(folder.path() / "kept");
    const std::string key = KeptDownloads::KeyFor(u"http://h/" + Utf8ToUtf16(name), 1, "AB");
    EXPECT_TRUE(store.Keep(key, part, KeptDownload{size, size + 1, "\"e\"", {}}));
    return key;
  };
  fs::create_directory(folder.path() / "kept");
  const fs::path kept = folder.path() / "kept";
  const std::string old = keep("old", 10);
  fs::last_write_time(kept / (old + ".json"), fs::file_time_type::clock::now() -
                                                  kKeptDownloadMaxAge - std::chrono::hours(1));
  std::ofstream(kept / "stray.part").put('x');
  fs::last_write_time(kept / "stray.part",
                      fs::file_time_type::clock::now() - std::chrono::hours(2));
  const std::string big = keep("big", kKeptDownloadsCapBytes / 2 + 1);
  const std::string bigger = keep("bigger", kKeptDownloadsCapBytes + 1);

  EXPECT_FALSE(fs::exists(kept / (old + ".part")));
  EXPECT_FALSE(fs::exists(kept / "stray.part"));
  EXPECT_FALSE(fs::exists(kept / (big + ".part")));
  EXPECT_TRUE(fs::exists(kept / (bigger + ".part")));
  // The query is no part of the key; the expected figures are, in any case.
  EXPECT_EQ(KeptDownloads::KeyFor(u"http://h/a?sig=1", 5, "ab"),
            KeptDownloads::KeyFor(u"http://h/a?sig=2#x", 5, "AB"));
  EXPECT_NE(KeptDownloads::KeyFor(u"http://h/a", 5, ""),
            KeptDownloads::KeyFor(u"http://h/a", 6, ""));
}

}  // namespace
