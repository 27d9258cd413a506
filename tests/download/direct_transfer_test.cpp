#include <gtest/gtest.h>

#include "download/download_results.h"
#include "download/request_headers.h"
#include "download/transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

// The direct transfer is chosen by the URL: the storage host name plus a signature marker.
constexpr char kSignedTarget[] =
    "/bucket.s3.amazonaws.com/archive.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Signature=a%2Fb";

const std::vector<int64_t> kAllRetryPauses = {1000, 2000, 4000, 8000, 16000, 30000};

class DirectTransferTest : public TransferFixture {};

TEST_F(DirectTransferTest, StreamsTheBodyWithTheHeaderBlockAndReportsEveryBlock) {
  // A proxy in the environment must not be used.
  ScopedEnvironmentVariable proxy("http_proxy", "http://127.0.0.1:9");
  FaultHttpServer server({"--body-file", MakeBody((1 << 20) + 1000).string()});
  const CallbackPayload done = Download(server.Url(kSignedTarget));

  ASSERT_EQ(done.result, 0u) << done.message;
  EXPECT_EQ(FileContent(Destination()), body);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["target"], kSignedTarget);
  EXPECT_EQ(requests[0]["headers"]["user-agent"], kDownloadUserAgent);
  EXPECT_EQ(requests[0]["headers"]["referer"], "https://quillfetch.localhost/");
  EXPECT_FALSE(requests[0]["headers"].contains("range"));

  // The length (done 0), then one report per whole 256 KiB block, however small the client's
  // reads (libcurl's are about 16 KiB on loopback, Wine's WinHTTP's a few KiB), and the rest.
  std::vector<uint64_t> reported;
  for (const CallbackPayload& p : progress) {
    reported.push_back(p.done);
    EXPECT_EQ(p.todo, body.size());
  }
  EXPECT_EQ(reported, (std::vector<uint64_t>{0, 262144, 524288, 786432, 1048576, 1049576}));
  EXPECT_EQ(EntriesAt("DEBUG", "Content-Length=")[0].message, "Content-Length=1049576");
  EXPECT_EQ(EntriesAt("DEBUG", "WinHTTP fallback starting").size(), 1u);
  // No pause happened, so no virtual time passed.
  EXPECT_EQ(EntriesAt("INFO", "WinHTTP completed")[0].message,
            "WinHTTP completed bytes=1049576, headerBytes=1049576, ttfbMs=0, durationMs=0, "
            "throughputMbps=0.000000");
  EXPECT_EQ(EntriesAt("INFO", "Saved to: ")[0].message, "Saved to: " + Destination().string());
}

// Signed URLs with a session token run to thousands of characters; all of them count.
TEST_F(DirectTransferTest, ALongSignedQueryIsSentWholeAndTheFragmentNever) {
  const std::string target =
      std::string(kSignedTarget) + "&X-Amz-Security-Token=" + std::string(3000, 'T');
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  ASSERT_EQ(Download(server.Url(target + "#fragment")).result, 0u);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0]["target"], target);
}

// Each store checks its signature over the request as sent: a target re-encoded on the way
// (%2F decoded, + or %20 swapped, escapes of another case) or a HEAD first is refused with 403.
// A character outside ASCII, which no request line may hold, goes as a browser sends it.
TEST_F(DirectTransferTest, SignedUrlsOfEveryStoreAreFetchedWithOneGetOfTheirExactTarget) {
  MakeBody(5000);
  const fs::path bodyFile = folder.path() / "body.bin";
  const std::vector<std::pair<std::string, std::string>> targets = {
      {"/b/k%2Fa+b%20c.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Credential=AK%2F20260101%2F"
       "eu-west-1%2Fs3%2Faws4_request&X-Amz-Signature=ab+cd%3d",
       ""},
      {"/b/%E8%A3%BD%E5%93%81.zip?X-Goog-Algorithm=GOOG4-RSA-SHA256&X-Goog-Signature=a%2Fb", ""},
      {"/c/a%20b.zip?sv=2022-11-02&se=2026-12-31T00%3A00%3A00Z&sr=b&sp=r&sig=x%2By%3D", ""},
      {"/b/D\xC3\xB6nn\xC3\xA9"
       "es.zip?X-Amz-Signature=a&n\xC3\xA4me=%c3%a4&k=\xF0\x9F\x93\xA6",
       "/b/D%C3%B6nn%C3%A9es.zip?X-Amz-Signature=a&n%C3%A4me=%c3%a4&k=%F0%9F%93%A6"},
  };
  for (const auto& [given, sent] : targets) {
    SCOPED_TRACE(given);
    const std::string expected = sent.empty() ? given : sent;
    FaultHttpServer server({"--body-file", bodyFile.string(), "--signed-target", expected});
    completions.clear();
    const CallbackPayload done = Download(server.Url(given));
    EXPECT_EQ(done.result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

// A captive network's sign-in page comes with status 200: it ends the download at once, with
// what to do, and nothing is kept as the archive.
TEST_F(DirectTransferTest, ASignInPageSentAsSuccessEndsAtOnceAndIsNotKept) {
  FaultHttpServer server({"--status", "200"});
  ExpectEndedAsAWebPage(Download(server.Url(kSignedTarget)), server);
  EXPECT_TRUE(clock.Pauses().empty());
}

// At a few KB/s a 256 KiB block takes a minute: the page hears of the bytes each second.
TEST_F(DirectTransferTest, ASlowBodyReportsEachSecondBeforeItsBlockIsFull) {
  FaultHttpServer server({"--body-file", MakeBody(200000).string()});
  engine = MakeEngine(server.Url(kSignedTarget), Destination());
  engine->onProgress = [this](const CallbackPayload& p) {
    progress.push_back(p);
    clock.Advance(std::chrono::milliseconds(1000));  // the next piece arrives a second later
  };
  engine->Run();
  ASSERT_EQ(completions.size(), 1u);
  ASSERT_EQ(completions[0].result, 0u);
  ASSERT_GE(progress.size(), 3u);  // the length, at least one piece, the whole body
  EXPECT_GT(progress[1].done, 0u);
  EXPECT_LT(progress[1].done, body.size());
  EXPECT_EQ(progress.back().done, body.size());
}

TEST_F(DirectTransferTest, FollowsRedirects) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string(), "--redirect", "/mirror/a.zip"});
  ASSERT_EQ(Download(server.Url(kSignedTarget)).result, 0u);
  EXPECT_EQ(FileContent(Destination()), body);
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(DirectTransferTest, BodiesWithoutLengthAndEmptyBodies) {
  {
    FaultHttpServer server({"--body-file", MakeBody(300000).string(), "--no-content-length"});
    ASSERT_EQ(Download(server.Url(kSignedTarget)).result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    EXPECT_TRUE(EntriesAt("DEBUG", "Content-Length=").empty());
    for (const CallbackPayload& p : progress) EXPECT_EQ(p.todo, 0u);
    EXPECT_NE(EntriesAt("INFO", "WinHTTP completed")[0].message.find(", headerBytes=0,"),
              std::string::npos);
  }
  completions.clear();
  progress.clear();
  FaultHttpServer empty({"--body-file", MakeBody(0).string()});
  ASSERT_EQ(Download(empty.Url(kSignedTarget)).result, 0u);
  EXPECT_TRUE(fs::exists(Destination()));
  EXPECT_EQ(fs::file_size(Destination()), 0u);
  EXPECT_TRUE(progress.empty());
  EXPECT_EQ(EntriesAt("INFO", "WinHTTP completed").back().message,
            "WinHTTP completed bytes=0, headerBytes=0, ttfbMs=-1, durationMs=0, "
            "throughputMbps=0.000000");
}

TEST_F(DirectTransferTest, HttpFailuresGiveTheStatusAndLeaveNoErrorPage) {
  for (const char* status : {"403", "404", "500"}) {
    SCOPED_TRACE(status);
    completions.clear();
    FaultHttpServer server({"--body-file", MakeBody(1000).string(), "--status", status});
    const CallbackPayload done = Download(server.Url(kSignedTarget));
    EXPECT_EQ(done.result, static_cast<uint32_t>(std::stoul(status)));
    EXPECT_EQ(done.message, "");
    EXPECT_FALSE(fs::exists(Destination()));
  }
  EXPECT_TRUE(clock.Pauses().empty());
}

TEST_F(DirectTransferTest, RetriesConnectionFailuresSixTimesWithGrowingPauses) {
  std::string closedUrl;
  {
    FaultHttpServer gone({});
    closedUrl = gone.Url(kSignedTarget);
  }
  EXPECT_EQ(Download(closedUrl).result, 12029u);
  EXPECT_EQ(clock.Pauses(), kAllRetryPauses);

  // An error outside the retryable set fails at once.
  completions.clear();
  RecordingClock third;
  auto bad = std::make_shared<DownloadEngine>(third);
  bad->url = u"ftp://127.0.0.1/bucket.s3.amazonaws.com/a.zip?x-amz-algorithm=x";
  bad->destPath = Destination();
  bad->onComplete = engine->onComplete;
  bad->Run();
  EXPECT_EQ(completions[0].result, 12006u);
  EXPECT_TRUE(third.Pauses().empty());
}

TEST_F(DirectTransferTest, BodyCutShortContinuesWithRangeOrStartsOver) {
  const fs::path bodyFile = MakeBody(1'000'000);
  {
    FaultHttpServer server(
        {"--body-file", bodyFile.string(), "--cut-after", "300000", "--cut-times", "2"});
    ASSERT_EQ(Download(server.Url(kSignedTarget)).result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1]["headers"]["range"], "bytes=300000-");
    EXPECT_EQ(requests[2]["headers"]["range"], "bytes=600000-");
    EXPECT_EQ(requests[2]["target"], kSignedTarget);
    EXPECT_EQ(clock.Pauses(), (std::vector<int64_t>{1000, 2000}));
    EXPECT_EQ(progress.back().done, body.size());
  }
  {
    completions.clear();
    progress.clear();
    FaultHttpServer server(
        {"--body-file", bodyFile.string(), "--cut-after", "300000", "--ignore-range"});
    ASSERT_EQ(Download(server.Url(kSignedTarget)).result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    EXPECT_EQ(progress.back().done, body.size());
  }
  {
    // A 206 answer that starts elsewhere than asked is not appended: the download starts over.
    completions.clear();
    FaultHttpServer server(
        {"--body-file", bodyFile.string(), "--cut-after", "300000", "--wrong-range"});
    ASSERT_EQ(Download(server.Url(kSignedTarget)).result, 0u);
    EXPECT_TRUE(FileContent(Destination()) == body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[2]["headers"].contains("range"));
  }
  // Cut every time: the retry budget runs out and nothing is left behind.
  completions.clear();
  FaultHttpServer server(
      {"--body-file", bodyFile.string(), "--cut-after", "1000", "--cut-times", "100"});
  EXPECT_EQ(Download(server.Url(kSignedTarget)).result, 12030u);
  EXPECT_EQ(server.Requests().size(), 7u);
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(DirectTransferTest, CancelEndsAStalledTransferAndRemovesThePartialFile) {
  FaultHttpServer server({"--body-file", MakeBody(100000).string(), "--stall-after", "5000"});
  const CallbackPayload done = DownloadAndCancel(server.Url(kSignedTarget), server);
  EXPECT_EQ(done.result, 1602u);
  EXPECT_EQ(done.message, "");
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(DirectTransferTest, UncreatableFolderFailsWithItsError) {
  std::ofstream(folder.path() / "file") << "x";
  engine = MakeEngine("http://127.0.0.1:9/x.s3.amazonaws.com/?x-amz-algorithm=1",
                      folder.path() / "file" / "sub" / "a.zip");
  engine->Run();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].result, 267u);  // ERROR_DIRECTORY: a file is in the way
  EXPECT_NE(completions[0].message.find("Failed to create the download folder"), std::string::npos);
}

}  // namespace
