#include <gtest/gtest.h>

#include "download/download_results.h"
#include "download/kept_downloads.h"
#include "download/request_headers.h"
#include "download/transfer_fixture.h"
#include "download/transfer_job_curl.h"

namespace fs = std::filesystem;

namespace {

constexpr char kTarget[] = "/files/archive.zip?token=a%2Fb&x=1";

class JobTransferTest : public TransferFixture {
 protected:
  fs::path Partial() const { return fs::path(Destination().string() + ".partial"); }
};

TEST_F(JobTransferTest, DownloadsThroughTheJobWithHeadersAndQueryUnchanged) {
  ScopedEnvironmentVariable proxy("http_proxy", "http://127.0.0.1:9");
  FaultHttpServer server({"--body-file", MakeBody(3'000'000).string()});
  const CallbackPayload done = Download(server.Url(kTarget));

  ASSERT_EQ(done.result, 0u) << done.message;
  EXPECT_EQ(FileContent(Destination()), body);
  EXPECT_FALSE(fs::exists(Partial()));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["target"], kTarget);
  EXPECT_EQ(requests[0]["headers"]["user-agent"], kDownloadUserAgent);
  EXPECT_EQ(requests[0]["headers"]["referer"], "https://quillfetch.localhost/");
  // How many transferring polls a loopback transfer allows varies; whatever was reported is
  // consistent with the body.
  for (const CallbackPayload& p : progress) {
    if (p.done > 0) {
      EXPECT_EQ(p.todo, body.size());
    }
    EXPECT_LE(p.done, body.size());
  }
  EXPECT_EQ(EntriesAt("INFO", "BITS completed bytes=3000000, ").size(), 1u);
}

TEST_F(JobTransferTest, FollowsRedirects) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string(), "--redirect", "/mirror/a.zip"});
  ASSERT_EQ(Download(server.Url("/a.zip")).result, 0u);
  EXPECT_EQ(FileContent(Destination()), body);
  EXPECT_EQ(server.Requests().back()["target"], "/mirror/a.zip");
}

TEST_F(JobTransferTest, UnknownLengthAndEmptyBody) {
  {
    FaultHttpServer server({"--body-file", MakeBody(500'000).string(), "--no-content-length"});
    ASSERT_EQ(Download(server.Url(kTarget)).result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    for (const CallbackPayload& p : progress) {
      if (p.done > 0) {
        EXPECT_EQ(p.todo, kUnknownSize);
      }
    }
  }
  completions.clear();
  FaultHttpServer empty({"--body-file", MakeBody(0).string()});
  ASSERT_EQ(Download(empty.Url(kTarget)).result, 0u);
  EXPECT_TRUE(fs::exists(Destination()));
  EXPECT_EQ(fs::file_size(Destination()), 0u);
}

TEST_F(JobTransferTest, HttpErrorsGiveUpWithTheStatusAndServerErrorsAreTransient) {
  for (const char* status : {"403", "404"}) {
    SCOPED_TRACE(status);
    completions.clear();
    FaultHttpServer server({"--body-file", MakeBody(1000).string(), "--status", status});
    const CallbackPayload done = Download(server.Url(kTarget));
    EXPECT_EQ(done.result, static_cast<uint32_t>(std::stoul(status)));
    EXPECT_EQ(done.message, std::string("The server answered with HTTP status ") + status + ".");
    EXPECT_EQ(server.Requests().size(), 1u);  // no retry can change a refusal
    EXPECT_FALSE(fs::exists(Destination()));
    EXPECT_FALSE(fs::exists(Partial()));
  }

  completions.clear();
  FaultHttpServer failing({"--body-file", MakeBody(1000).string(), "--status", "500"});
  const CallbackPayload done = Download(failing.Url(kTarget));
  EXPECT_EQ(done.result, 1460u);
  EXPECT_EQ(done.message,
            "Too many transient errors, aborting download 0x801901F4. The server answered with "
            "HTTP status 500.");
  EXPECT_FALSE(fs::exists(Partial()));

  // A server that recovers: two 503 answers, then the file.
  completions.clear();
  FaultHttpServer recovering(
      {"--body-file", MakeBody(1000).string(), "--status", "503", "--status-times", "2"});
  ASSERT_EQ(Download(recovering.Url(kTarget)).result, 0u);
  EXPECT_EQ(FileContent(Destination()), body);
}

TEST_F(JobTransferTest, ASignInPageSentAsSuccessEndsAtOnceAndIsNotKept) {
  FaultHttpServer server({"--status", "200"});
  ExpectEndedAsAWebPage(Download(server.Url(kTarget)), server);
  EXPECT_FALSE(fs::exists(Partial()));
}

TEST_F(JobTransferTest, RefusedConnectionsAreTransient) {
  std::string closedUrl;
  {
    FaultHttpServer gone({});
    closedUrl = gone.Url(kTarget);
  }
  const CallbackPayload done = Download(closedUrl);
  EXPECT_EQ(done.result, 1460u);
  EXPECT_EQ(done.message,
            "Too many transient errors, aborting download 0x80072EFD. A connection with the "
            "server could not be established.");
}

TEST_F(JobTransferTest, BodyCutShortResumesWithRangeOrStartsOver) {
  const fs::path bodyFile = MakeBody(1'000'000);
  {
    FaultHttpServer server({"--body-file", bodyFile.string(), "--cut-after", "300000"});
    ASSERT_EQ(Download(server.Url(kTarget)).result, 0u);
    EXPECT_EQ(FileContent(Destination()), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1]["headers"]["range"], "bytes=300000-");
  }
  for (const char* server_ignores : {"--ignore-range", "--wrong-range"}) {
    // Whether the server sends the whole body again or a 206 for other bytes than those asked
    // for, the file is the body, never a splice.
    SCOPED_TRACE(server_ignores);
    completions.clear();
    FaultHttpServer server(
        {"--body-file", bodyFile.string(), "--cut-after", "300000", server_ignores});
    ASSERT_EQ(Download(server.Url(kTarget)).result, 0u);
    EXPECT_TRUE(FileContent(Destination()) == body);
    EXPECT_FALSE(fs::exists(Partial()));
  }
}

// A file that changed on the server between a cut and the request for the rest comes whole on
// both paths, whether the server honours If-Range (a whole 200) or skips the check (a 206 of
// the new file): never the first version's bytes followed by the second's.
TEST_F(JobTransferTest, AFileThatChangedAfterACutStartsOverOnEveryPath) {
  const fs::path versionA = MakeBody(1'000'000);
  const fs::path versionB = folder.path() / "b.bin";
  fs::rename(versionA, versionB);
  const std::string bodyB = body;
  MakeBody(999'999);  // another file, of another size
  for (const char* target :
       {kTarget, "/bucket.s3.amazonaws.com/archive.zip?X-Amz-Algorithm=A&X-Amz-Signature=s"}) {
    for (const bool skipsIfRange : {false, true}) {
      SCOPED_TRACE(std::string(target) + (skipsIfRange ? ", If-Range skipped" : ""));
      std::vector<std::string> options = {"--body-file",    versionA.string(), "--etag",
                                          "\"A\"",          "--cut-after",     "500000",
                                          "--then-etag",    "\"B\"",           "--then-body-file",
                                          versionB.string()};
      if (skipsIfRange) options.push_back("--ignore-if-range");
      FaultHttpServer server(options);
      completions.clear();
      const CallbackPayload done = Download(server.Url(target));
      ASSERT_EQ(done.result, 0u) << done.message;
      EXPECT_TRUE(FileContent(Destination()) == bodyB);
      const auto requests = server.Requests();
      ASSERT_GE(requests.size(), 2u);
      EXPECT_EQ(requests[1]["headers"]["range"], "bytes=500000-");
      EXPECT_EQ(requests[1]["headers"]["if-range"], "\"A\"");
      fs::remove_all(Destination().parent_path());
    }
  }
}

// The job keeps what it fetched when it stops for good or is cancelled, as the direct transfer
// does, and asking again fetches only the rest (If-Range guarding it).
TEST_F(JobTransferTest, AStoppedJobKeepsItsBytesAndAskingAgainFetchesOnlyTheRest) {
  TemporaryFolder kept;
  const auto run = [&](const std::string& url) {
    completions.clear();
    engine = MakeEngine(url, Destination());
    engine->keptDownloadsFolder = kept.path();
    engine->Run();
    return completions.size() == 1 ? completions[0] : CallbackPayload();
  };
  const fs::path bodyFile = MakeBody(1'000'000);
  FaultHttpServer server({"--body-file", bodyFile.string(), "--etag", "\"v1\"", "--cut-after",
                          "600000", "--then-status", "403"});
  const std::string url = server.Url(kTarget);
  EXPECT_EQ(run(url).result, 403u);  // the retry found the link refused
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_FALSE(fs::exists(Partial()));
  EXPECT_EQ(std::distance(fs::directory_iterator(kept.path()), {}), 2);
  const uint64_t firstAttempt = server.BodyBytesSent();
  EXPECT_EQ(firstAttempt, 600000u);

  const CallbackPayload done = run(url);
  ASSERT_EQ(done.result, 0u) << done.message;
  EXPECT_TRUE(FileContent(Destination()) == body);
  EXPECT_EQ(server.BodyBytesSent() - firstAttempt, 400000u);
  EXPECT_EQ(server.Requests().back()["headers"]["range"], "bytes=600000-");
  EXPECT_EQ(server.Requests().back()["headers"]["if-range"], "\"v1\"");
  EXPECT_EQ(std::distance(fs::directory_iterator(kept.path()), {}), 0);

  // The page's cancel keeps the bytes too.
  fs::remove_all(Destination().parent_path());
  FaultHttpServer stalling(
      {"--body-file", bodyFile.string(), "--etag", "\"v1\"", "--stall-after", "300000"});
  engine = MakeEngine(stalling.Url(kTarget), Destination());
  engine->keptDownloadsFolder = kept.path();
  completions.clear();
  ASSERT_TRUE(engine->StartDownload(engine->url, engine->destPath, "c"));
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard lock(mutex);
    return !progress.empty() && progress.back().done > 0;
  }));
  engine->cancelRequested.store(true);
  ASSERT_TRUE(WaitFor([&] { return !engine->running.load(); }));
  EXPECT_EQ(completions.back().result, 1602u);
  EXPECT_FALSE(fs::exists(Partial()));
  EXPECT_EQ(EntriesAt("INFO", "Kept ").size(), 2u);
}

TEST_F(JobTransferTest, UrlsThatCanNeverBeFetchedFailAtOnce) {
  for (const char* url :
       {"", "http://127.0.0.1:9/a.zip\r\nX-Injected: 1", "ftp://127.0.0.1/a.zip"}) {
    SCOPED_TRACE(url);
    completions.clear();
    const CallbackPayload done = Download(url);
    EXPECT_EQ(done.result, std::string(url).rfind("ftp", 0) == 0 ? 12006u : 12005u);
    EXPECT_TRUE(clock.Pauses().empty());
  }
}

TEST_F(JobTransferTest, CancelStopsAStalledJobAndRemovesItsFile) {
  FaultHttpServer server({"--body-file", MakeBody(100000).string(), "--stall-after", "5000"});
  const CallbackPayload done = DownloadAndCancel(server.Url(kTarget), server);
  EXPECT_EQ(done.result, 1602u);
  EXPECT_EQ(done.message, "");
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_FALSE(fs::exists(Partial()));
}

// The job on its own: what the service promises beyond the loop's use of it.
TEST_F(JobTransferTest, JobPlacesTheFileOnlyOnComplete) {
  FaultHttpServer server({"--body-file", MakeBody(200000).string()});
  std::unique_ptr<TransferJob> job;
  ASSERT_EQ(MakeCurlTransferJobManager()->CreateJob("t", job), kOk);
  fs::create_directories(Destination().parent_path());
  uint32_t state = 0;
  ASSERT_EQ(job->GetState(state), kOk);
  EXPECT_EQ(state, static_cast<uint32_t>(TransferJobState::kSuspended));
  TransferJobProgress before;
  job->GetProgress(before);
  EXPECT_EQ(before.bytesTotal, kUnknownSize);
  EXPECT_TRUE(Failed(job->Complete()));  // nothing transferred yet

  job->AddFile(Utf8ToUtf16(server.Url(kTarget)), Destination());
  job->Resume();
  ASSERT_TRUE(WaitFor([&] {
    job->GetState(state);
    return state == static_cast<uint32_t>(TransferJobState::kTransferred);
  }));
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(job->Complete(), kOk);
  EXPECT_EQ(FileContent(Destination()), body);
  job->GetState(state);
  EXPECT_EQ(state, static_cast<uint32_t>(TransferJobState::kAcknowledged));
}

}  // namespace
