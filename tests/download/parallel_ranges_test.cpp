#include <gtest/gtest.h>

#include "download/direct_transfer.h"
#include "download/transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTarget[] = "/bucket.s3.amazonaws.com/big.zip?X-Amz-Algorithm=A&X-Amz-Signature=s";
constexpr size_t kBigFile = 20 * 1024 * 1024;

// Gathers what it is told, failing the test when a piece is not the next one in order.
class InOrderWatcher final : public FileWriteWatcher {
 public:
  void Wrote(uint64_t offset, const void* data, size_t size) override {
    EXPECT_EQ(offset, seen.size());
    seen.append(static_cast<const char*>(data), size);
  }
  std::string seen;
};

class ParallelRangesTest : public TransferFixture {
 protected:
  // The direct transfer over four connections, watched; `options` go to the server.
  TransferResult Fetch(std::vector<std::string> options, FileWriteWatcher* watcher = nullptr) {
    options.insert(options.begin(), {"--body-file", bodyFile.string(), "--etag", "\"e\""});
    server = std::make_unique<FaultHttpServer>(options);
    DirectTransferRequest request;
    request.url = Utf8ToUtf16(server->Url(kTarget));
    request.destination = Destination();
    fs::create_directories(Destination().parent_path());
    if (watcher != nullptr) request.watchers.push_back(watcher);
    request.cancel = &cancel;
    request.onProgress = [this](const TransferFigures& figures) {
      std::lock_guard lock(mutex);
      reported.push_back(figures);
    };
    request.clock = &clock;
    request.connections = 4;
    return RunDirectTransfer(request);
  }

  std::vector<std::string> Ranges() const {
    std::vector<std::string> ranges;
    for (const nlohmann::json& r : server->Requests()) {
      ranges.push_back(r["headers"].value("range", std::string("(none)")));
    }
    return ranges;
  }

  fs::path bodyFile = MakeBody(kBigFile);
  std::unique_ptr<FaultHttpServer> server;
  std::atomic<bool> cancel{false};
  std::vector<TransferFigures> reported;
};

// The first answer is held back, so the other connections' ranges arrive before it: the file
// and the watcher still get the whole body in order, and the page a total that only grows.
TEST_F(ParallelRangesTest, ALargeFileComesOverSeveralConnectionsAndIsToldInOrder) {
  InOrderWatcher watcher;
  const TransferResult result = Fetch({"--hold-first-ms", "500"}, &watcher);
  ASSERT_EQ(result.code, kOk);
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_TRUE(watcher.seen == body);
  const std::vector<std::string> ranges = Ranges();
  ASSERT_GE(ranges.size(), 4u);
  EXPECT_EQ(ranges[0], "bytes=0-");
  for (size_t i = 1; i < ranges.size(); ++i) EXPECT_NE(ranges[i].back(), '-') << ranges[i];
  uint64_t last = 0;
  for (const TransferFigures& figures : reported) {
    EXPECT_GE(figures.done, last);
    EXPECT_EQ(figures.todo, kBigFile);
    last = figures.done;
  }
  EXPECT_EQ(last, kBigFile);
  // About one report per block of the whole, not one per connection's read.
  EXPECT_LE(reported.size(), kBigFile / kFileWriteBlockBytes + 8);
}

// Cut ranges go on from their last byte on their own; one that is cut every time ends the
// download with the single GET's code; so does a cancel, for every connection at once.
TEST_F(ParallelRangesTest, RangesResumeAloneAndAFailureOrCancelEndsThemAll) {
  {
    const TransferResult result = Fetch({"--cut-after", "3000000", "--cut-times", "3"});
    ASSERT_EQ(result.code, kOk);
    EXPECT_TRUE(FileContent(Destination()) == body);
  }
  {
    const TransferResult result = Fetch({"--cut-after", "100000", "--cut-times", "1000"});
    EXPECT_EQ(result.code, HResultFromWin32(12030));
    EXPECT_FALSE(fs::exists(Destination()));
  }
  std::thread canceller([this] {
    WaitFor([this] {
      std::lock_guard lock(mutex);
      return reported.size() >= 8;  // every connection is sending, or stalled
    });
    cancel.store(true);
  });
  const auto began = std::chrono::steady_clock::now();
  const TransferResult result = Fetch({"--stall-after", "1000000"});
  canceller.join();
  EXPECT_EQ(result.code, HResultFromWin32(1602));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
}

// Each connection gets less than a piece and then nothing: the bytes still count as moving, so a
// slow link shared by several connections is not taken for a stalled one.
TEST_F(ParallelRangesTest, BytesNotYetAWholePieceAreReported) {
  constexpr uint64_t kEach = 100000;  // four of them make a piece, none alone does
  std::thread canceller([this] {
    WaitFor([this] {
      std::lock_guard lock(mutex);
      return !reported.empty() && reported.back().done >= kFileWriteBlockBytes;
    });
    cancel.store(true);
  });
  Fetch({"--stall-after", std::to_string(kEach)});
  canceller.join();
  std::lock_guard lock(mutex);
  ASSERT_FALSE(reported.empty());
  EXPECT_GE(reported.back().done, kFileWriteBlockBytes);
  EXPECT_LE(reported.back().done, 4 * kEach);
}

// A server that ignores Range sends the whole file to the first request, which is all there
// is; one that answers other bytes than asked starts the file over on one connection.
TEST_F(ParallelRangesTest, ServersThatIgnoreOrMisanswerRangesEndUpWithOneGet) {
  ASSERT_EQ(Fetch({"--ignore-range"}).code, kOk);
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_EQ(server->Requests().size(), 1u);

  ASSERT_EQ(Fetch({"--wrong-range"}).code, kOk);
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_EQ(Ranges().back(), "(none)");
}

// A server that answers "bytes=0-" with a whole 200 (naming the length and "Accept-Ranges:
// bytes") but serves other ranges: the other connections still take the upper ranges, and the
// first answer's stream ends where theirs begin.
TEST_F(ParallelRangesTest, AWholeFirstAnswerFromAServerOfRangesIsSplitToo) {
  InOrderWatcher watcher;
  ASSERT_EQ(Fetch({"--whole-for-open-range"}, &watcher).code, kOk);
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_TRUE(watcher.seen == body);
  const std::vector<std::string> ranges = Ranges();
  ASSERT_GE(ranges.size(), 4u);
  EXPECT_EQ(ranges[0], "bytes=0-");
  for (size_t i = 1; i < ranges.size(); ++i) EXPECT_NE(ranges[i].back(), '-') << ranges[i];
}

}  // namespace
