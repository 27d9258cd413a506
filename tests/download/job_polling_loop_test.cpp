#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "base/hresult.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "download/recording_clock.h"
#include "download/scripted_transfer_job.h"
#include "support/logger_fixture.h"

namespace fs = std::filesystem;
using State = TransferJobState;

namespace {

ScriptedPoll Poll(State state, uint64_t transferred = 0, uint64_t total = 0) {
  ScriptedPoll poll;
  poll.state = static_cast<uint32_t>(state);
  poll.progress.bytesTransferred = transferred;
  poll.progress.bytesTotal = total;
  return poll;
}

class JobPollingLoopTest : public LoggerFixture {
 protected:
  // Runs one download synchronously on the test thread, through the worker body.
  CallbackPayload RunDownload(const std::u16string& url = u"http://127.0.0.1/archive.zip") {
    engine = std::make_shared<DownloadEngine>(clock, script.Factory());
    engine->onProgress = [this](const CallbackPayload& p) { progress.push_back(p); };
    engine->onComplete = [this](const CallbackPayload& p) { completions.push_back(p); };
    engine->url = url;
    engine->destPath = folder.path() / "{GUID}" / "archive.zip";
    engine->name = "UtlDwldFile";
    engine->cbid = "7";
    engine->Run();
    EXPECT_EQ(completions.size(), 1u);
    return completions.empty() ? CallbackPayload() : completions.back();
  }

  void AddPolls(State state, int count) {
    for (int i = 0; i < count; ++i) script.polls.push_back(Poll(state));
  }

  RecordingClock clock;
  JobScript script;
  TemporaryFolder folder;
  std::shared_ptr<DownloadEngine> engine;
  std::vector<CallbackPayload> progress;
  std::vector<CallbackPayload> completions;
};

TEST_F(JobPollingLoopTest, SetsUpTheJobAndCompletesWithTheResultJson) {
  script.polls = {Poll(State::kQueued), Poll(State::kConnecting), Poll(State::kTransferring, 0, 10),
                  Poll(State::kTransferring, 10, 10), Poll(State::kTransferred, 10, 10)};
  script.fileContentOnComplete = "0123456789";
  const CallbackPayload done = RunDownload();

  EXPECT_EQ(done.result, 0u);
  const fs::path dest = engine->destPath;
  EXPECT_EQ(done.message,
            R"({"des":")" + dest.generic_string() + R"(","url":"http://127.0.0.1/archive.zip"})");
  EXPECT_EQ(script.displayName, "Velmorante: BITS Download");
  EXPECT_TRUE(script.noProxy);
  EXPECT_EQ(script.remoteUrl, engine->url);
  EXPECT_EQ(script.localName, dest);
  EXPECT_EQ(script.headers,
            "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, "
            "like Gecko) Chrome/139.0.0.0 Safari/537.36 Edg/139.0.0.0\r\n"
            "Referer: https://quillfetch.localhost/\r\n");
  EXPECT_EQ(script.resumes, 1);
  EXPECT_EQ(script.completes, 1);
  EXPECT_EQ(script.cancels, 0);
  EXPECT_EQ(script.jobsDestroyed, 1);
  EXPECT_EQ(clock.Pauses(), (std::vector<int64_t>{500, 500}));
  // Queued and connecting report unchanged figures; transferring reports per-mille steps.
  ASSERT_EQ(progress.size(), 4u);
  EXPECT_EQ(progress[0].todo, 0u);
  EXPECT_EQ(progress[2].done, 0u);
  EXPECT_EQ(progress[3].done, 10u);
  EXPECT_EQ(progress[3].todo, 10u);
  EXPECT_EQ(done.done, 10u);
  EXPECT_EQ(EntriesAt("DEBUG", "BITS state QUEUED").size(), 1u);
  EXPECT_EQ(EntriesAt("DEBUG", "BITS state CONNECTING").size(), 1u);
  // 1000 ms of virtual time passed (two settle pauses) for 10 bytes.
  const auto completed = EntriesAt("INFO", "BITS completed");
  ASSERT_EQ(completed.size(), 1u);
  EXPECT_EQ(completed[0].message,
            "BITS completed bytes=10, durationMs=1000, avgThroughputMbps=0.000080");
}

TEST_F(JobPollingLoopTest, ThinsProgressByPerMilleAndSamplesThroughput) {
  const uint64_t total = 1'000'000;
  script.polls = {Poll(State::kTransferring, 0, total),    Poll(State::kTransferring, 500, total),
                  Poll(State::kTransferring, 1000, total), Poll(State::kTransferring, 1500, total),
                  Poll(State::kTransferring, 2000, total), Poll(State::kTransferring, 2000, total)};
  ScriptedPoll late = Poll(State::kTransferring, 500'000, total);
  late.before = [this] { clock.Advance(std::chrono::milliseconds(2500)); };
  script.polls.push_back(late);
  script.polls.push_back(Poll(State::kTransferring, 500'100, total));  // same per-mille
  script.polls.push_back(Poll(State::kTransferred, total, total));
  RunDownload();

  std::vector<uint64_t> reported;
  for (const CallbackPayload& p : progress) reported.push_back(p.done);
  // While per-mille is 0 every poll reports; afterwards only a higher per-mille does.
  EXPECT_EQ(reported, (std::vector<uint64_t>{0, 500, 1000, 2000, 500'000}));
  EXPECT_TRUE(clock.Pauses().empty());  // transferring polls never pause
  const auto samples = EntriesAt("INFO", "InstMbps=");
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].message, "InstMbps=1.600000, transferred=500000");
}

// A tenth of a percent of a large archive on a slow line takes minutes; the page calls a download
// that reports nothing for 5 s stalled. Once a second with new bytes is a report too.
TEST_F(JobPollingLoopTest, ASlowDownloadReportsEachSecondThatBytesMoved) {
  const uint64_t total = 1'000'000'000;  // a tenth of a percent is 1 MB
  const uint64_t start = 2'000'000;
  for (const auto& [extra, ms] : std::vector<std::pair<uint64_t, int64_t>>{
           {0, 0}, {1000, 400}, {2000, 600}, {2000, 1500}, {3000, 0}, {4000, 999}, {5000, 1}}) {
    ScriptedPoll poll = Poll(State::kTransferring, start + extra, total);
    poll.before = [this, ms = ms] { clock.Advance(std::chrono::milliseconds(ms)); };
    script.polls.push_back(poll);
  }
  script.polls.push_back(Poll(State::kTransferred, total, total));
  RunDownload();

  std::vector<uint64_t> reported;
  for (const CallbackPayload& p : progress) reported.push_back(p.done - start);
  // +2000 a second after the first report; +2000 again 1.5 s later is no news, +3000 then is;
  // +4000 999 ms after that is too soon, +5000 a millisecond later is not.
  EXPECT_EQ(reported, (std::vector<uint64_t>{0, 2000, 3000, 5000}));
}

TEST_F(JobPollingLoopTest, UnknownTotalReportsEveryPollAndZeroTotalNone) {
  script.polls = {Poll(State::kTransferring, 100, kUnknownSize),
                  Poll(State::kTransferring, 200, kUnknownSize),
                  Poll(State::kTransferring, 300, kUnknownSize)};
  ScriptedPoll zero = Poll(State::kTransferring, 400, 0);
  zero.before = [this] { clock.Advance(std::chrono::milliseconds(5000)); };
  script.polls.push_back(zero);
  script.polls.push_back(Poll(State::kTransferred, 400, 400));
  RunDownload();

  ASSERT_EQ(progress.size(), 3u);
  for (const CallbackPayload& p : progress) EXPECT_EQ(p.todo, kUnknownSize);
  EXPECT_EQ(progress[2].done, 300u);
  EXPECT_TRUE(EntriesAt("INFO", "InstMbps=").empty());
}

TEST_F(JobPollingLoopTest, ErrorPollsBackOffThenGiveUpWithTheErrorObject) {
  AddPolls(State::kError, 10);
  AddPolls(State::kSuspended, 10);
  AddPolls(State::kError, 2);  // the 21st gives up; the 22nd is treated as cancelled
  script.error = TransferJobError{HResultFromWin32(5), "Access is denied."};
  const CallbackPayload done = RunDownload();

  std::vector<int64_t> expected;
  for (int n = 1; n <= 20; ++n) {
    expected.push_back(std::min<int64_t>(int64_t{1000} << std::min(n, 10), 60000));
    expected.push_back(500);
  }
  expected.push_back(500);  // after the give-up
  expected.push_back(500);  // after cancelling
  EXPECT_EQ(clock.Pauses(), expected);
  EXPECT_EQ(expected[0], 2000);
  EXPECT_EQ(expected[8], 32000);
  EXPECT_EQ(expected[10], 60000);
  EXPECT_EQ(script.resumes, 21);  // setup + one per error poll
  EXPECT_EQ(script.cancels, 1);
  EXPECT_EQ(script.polled, 22);
  EXPECT_EQ(done.result, 5u);
  EXPECT_EQ(done.message, "Access is denied.");
  const auto errors = EntriesAt("ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message, "Access is denied., hr=0x80070005");
}

// While it backs off, the page hears which retry comes, when, and what the job waits for; the
// figures are gone again from the next report and the completion.
TEST_F(JobPollingLoopTest, BackOffsAreAnnouncedWithTheAttemptAndWhatTheJobWaitsFor) {
  script.polls = {Poll(State::kTransientError), Poll(State::kTransientError)};
  script.error = TransferJobError{HResultFromHttpStatus(503), "Unavailable."};
  RunDownload();
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[1].attempt, 2u);
  EXPECT_EQ(progress[1].attempts, 21u);
  EXPECT_EQ(progress[1].retryInMs, 2000u);
  EXPECT_EQ(progress[1].waitingFor, "server");
  EXPECT_EQ(completions[0].attempt, 0u);

  completions.clear();
  progress.clear();
  script = JobScript();
  script.polls = {Poll(State::kError), Poll(State::kTransferring, 5, 10)};
  script.error = TransferJobError{HResultFromWin32(12029), "Cannot connect."};
  RunDownload();
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_EQ(progress[0].attempt, 1u);
  EXPECT_EQ(progress[0].attempts, 20u);
  EXPECT_EQ(progress[0].retryInMs, 2000u);
  EXPECT_EQ(progress[0].waitingFor, "network");
  EXPECT_EQ(progress[1].attempt, 0u);
  EXPECT_TRUE(progress[1].waitingFor.empty());
}

// An expired link, a missing file or a sign-in page stays what it is however often it is asked
// for: the job ends on the first such error instead of backing off for a quarter of an hour.
TEST_F(JobPollingLoopTest, RefusalsThatRetryingCannotChangeGiveUpAtOnce) {
  for (const HResult code :
       {HResultFromHttpStatus(401), HResultFromHttpStatus(403), HResultFromHttpStatus(404),
        HResultFromHttpStatus(410), HResultFromOwnCode(page_result::kWebPageInsteadOfArchive)}) {
    SCOPED_TRACE(LowWord(code));
    completions.clear();
    script = JobScript();
    const size_t pausesBefore = clock.Pauses().size();
    AddPolls(State::kError, 2);
    script.error = TransferJobError{code, "Refused."};
    const CallbackPayload done = RunDownload();
    EXPECT_EQ(done.result, PageResultOf(code));
    const std::vector<int64_t> pauses = clock.Pauses();
    EXPECT_EQ(
        std::vector<int64_t>(pauses.begin() + static_cast<ptrdiff_t>(pausesBefore), pauses.end()),
        (std::vector<int64_t>{500, 500}));  // no back-off
    EXPECT_EQ(script.resumes, 1);
    EXPECT_EQ(script.cancels, 1);
  }
}

// The platform's service shows no headers: a finished file that begins as a web page is one.
TEST_F(JobPollingLoopTest, AFinishedFileThatIsAWebPageIsRemoved) {
  script.polls = {Poll(State::kTransferred, 40, 40)};
  script.fileContentOnComplete = "\xEF\xBB\xBF\r\n <!DOCTYPE HTML><title>Sign in</title>";
  const CallbackPayload done = RunDownload();
  EXPECT_EQ(done.result, page_result::kWebPageInsteadOfArchive);
  EXPECT_EQ(done.message, download_text::kWebPageInsteadOfArchive);
  EXPECT_FALSE(fs::exists(folder.path() / "{GUID}" / "archive.zip"));
}

// A platform failure whose number a code of ours once shared (ERROR_INVALID_DATA, HTTP 407 as a
// Win32 number) is the platform's: retried as any other error and passed on with the job's own
// words, never worded as a web page or a proxy.
TEST_F(JobPollingLoopTest, PlatformFailuresKeepTheirNumbersAndWords) {
  for (const uint32_t win32 : {13u, 407u}) {
    SCOPED_TRACE(win32);
    completions.clear();
    script = JobScript();
    AddPolls(State::kError, 22);
    script.error = TransferJobError{HResultFromWin32(win32), "The platform failed."};
    const CallbackPayload done = RunDownload();
    EXPECT_EQ(done.result, win32);
    EXPECT_EQ(done.message, "The platform failed.");
    EXPECT_EQ(script.resumes, 21);  // retried through every back-off
  }
}

// A job that cannot connect goes on through the system's proxy at once (no back-off), once;
// a proxy that wants credentials then ends it with 407 and the text the page shows.
TEST_F(JobPollingLoopTest, AJobThatCannotConnectGoesOnThroughTheSystemsProxyOnce) {
  script.systemProxy = "http://proxy.example:3128";
  script.error = TransferJobError{HResultFromWin32(12029), "Cannot connect."};
  script.polls = {Poll(State::kTransientError), Poll(State::kTransientError), Poll(State::kError)};
  script.polls[2].before = [this] {
    script.error = TransferJobError{HResultFromHttpStatus(407), "Proxy."};
  };
  const CallbackPayload done = RunDownload();

  EXPECT_EQ(script.proxyLookups, 1);
  EXPECT_EQ(clock.Pauses().front(), 500);  // the proxy is tried without a back-off
  const std::vector<std::string> expectedStart = {"Resume", "GetState", "GetError",
                                                  "UseSystemProxy", "Resume"};
  EXPECT_EQ(std::vector<std::string>(script.calls.begin(), script.calls.begin() + 5),
            expectedStart);
  EXPECT_EQ(done.result, page_result::kProxyCredentialsWanted);
  EXPECT_EQ(done.message, download_text::kProxyCredentialsWanted);
  EXPECT_EQ(EntriesAt("ERROR",
                      "Route to 127.0.0.1: the proxy http://proxy.example:3128 asks for "
                      "credentials (HTTP 407)")
                .size(),
            1u);
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.1: the direct connection failed (12029); through "
                      "the proxy http://proxy.example:3128")
                .size(),
            1u);

  // With none named, the job backs off and retries as it always did.
  completions.clear();
  script = JobScript();
  script.error = TransferJobError{HResultFromWin32(12029), "Cannot connect."};
  script.polls = {Poll(State::kTransientError), Poll(State::kTransientError)};
  RunDownload();
  EXPECT_EQ(script.proxyLookups, 1);
  EXPECT_EQ(script.resumes, 3);  // set-up and one per transient error
}

TEST_F(JobPollingLoopTest, GiveUpWithoutDetail) {
  AddPolls(State::kError, 22);
  EXPECT_EQ(RunDownload().result, 1604u);
  EXPECT_EQ(completions[0].message, "ERROR: Download failed (permissions or network issue)");

  // An error object without a description.
  completions.clear();
  script = JobScript();
  AddPolls(State::kError, 22);
  script.error = TransferJobError{HResultFromWin32(112), std::nullopt};
  EXPECT_EQ(RunDownload().result, 112u);
  EXPECT_EQ(completions[0].message, "ERROR: Unknown error in the downloader");
}

TEST_F(JobPollingLoopTest, TransientErrorsAbortAfterTwentyOneUnlessTransfersWorkThemOff) {
  AddPolls(State::kTransientError, 21);
  script.error = TransferJobError{HResultFromWin32(12029), "Cannot connect."};
  const CallbackPayload done = RunDownload();

  EXPECT_EQ(done.result, 1460u);
  EXPECT_EQ(done.message,
            "Too many transient errors, aborting download 0x80072EFD. Cannot connect.");
  const std::vector<int64_t> pauses = clock.Pauses();
  ASSERT_EQ(pauses.size(), 42u);
  EXPECT_EQ(pauses[0], 1000);  // the count before raising it
  EXPECT_EQ(pauses[2], 2000);
  EXPECT_EQ(pauses[20], 60000);  // 1 s << 10 capped
  EXPECT_EQ(pauses[41], 500);
  EXPECT_EQ(script.cancels, 0);  // the job is left alone
  EXPECT_TRUE(EntriesAt("ERROR").empty());

  // One transferring poll in between lowers the count: 21 transient polls are not enough.
  completions.clear();
  script = JobScript();
  AddPolls(State::kTransientError, 10);
  script.polls.push_back(Poll(State::kTransferring, 1, 100));
  AddPolls(State::kTransientError, 11);
  EXPECT_EQ(RunDownload().result, 0u);  // the script ran out: acknowledged
  EXPECT_EQ(script.polled, 23);

  // Without an error object the message stops after its blank.
  completions.clear();
  script = JobScript();
  AddPolls(State::kTransientError, 21);
  EXPECT_EQ(RunDownload().message, "Too many transient errors, aborting download ");
}

TEST_F(JobPollingLoopTest, CancelDuringTransferAndDuringAPause) {
  script.polls = {Poll(State::kTransferring, 1, 100), Poll(State::kTransferring, 2, 100)};
  script.polls[1].before = [this] { engine->cancelRequested.store(true); };
  CallbackPayload done = RunDownload();
  EXPECT_EQ(done.result, 1602u);
  EXPECT_EQ(done.message, "");
  EXPECT_EQ(script.cancels, 1);
  EXPECT_EQ(script.completes, 0);

  // A cancel while backing off is acted on at the next poll.
  completions.clear();
  script = JobScript();
  AddPolls(State::kError, 5);
  clock.onPause = [this] { engine->cancelRequested.store(true); };
  done = RunDownload();
  EXPECT_EQ(done.result, 1602u);
  EXPECT_EQ(script.polled, 2);
  EXPECT_EQ(script.cancels, 1);
}

TEST_F(JobPollingLoopTest, UnknownStateAndStateQueryFailures) {
  script.polls = {Poll(State::kConnecting), Poll(static_cast<State>(9))};
  CallbackPayload done = RunDownload();
  EXPECT_EQ(done.result, 1603u);
  EXPECT_EQ(done.message, "Download interrupted, unknown state");
  EXPECT_EQ(script.cancels, 0);

  // A state query that fails is no success.
  completions.clear();
  script = JobScript();
  ScriptedPoll broken = Poll(State::kQueued);
  broken.stateCode = static_cast<HResult>(0x800706BA);
  script.polls = {broken};
  done = RunDownload();
  EXPECT_EQ(done.result, 0x06BAu);
  EXPECT_NE(done.message.find("0x800706BA"), std::string::npos);

  // ... but it keeps an earlier code.
  completions.clear();
  script = JobScript();
  AddPolls(State::kError, 21);
  script.polls.push_back(broken);
  EXPECT_EQ(RunDownload().result, 1604u);
}

TEST_F(JobPollingLoopTest, SetupFailuresEndAtOnce) {
  script.managerCode = static_cast<HResult>(0x80040154);
  CallbackPayload done = RunDownload();
  EXPECT_EQ(done.result, 0x0154u);
  EXPECT_EQ(done.message, "Download manager failed to create instance.0x80040154. ");

  completions.clear();
  script = JobScript();
  script.jobCode = static_cast<HResult>(0x80200010);
  done = RunDownload();
  EXPECT_EQ(done.result, 0x0010u);
  EXPECT_EQ(done.message, "Download manager failed to create job, 0x80200010. ");
  EXPECT_EQ(script.resumes, 0);

  // A URL the service refuses ends the download before the first poll.
  completions.clear();
  script = JobScript();
  script.addFileCode = static_cast<HResult>(0x80070057);
  done = RunDownload();
  EXPECT_EQ(done.result, 87u);
  EXPECT_EQ(done.message, "Download address refused by the download manager, 0x80070057. ");
  EXPECT_EQ(script.resumes, 0);
  EXPECT_EQ(script.polled, 0);

  // What the platform's service would take but must never fetch with the program's rights (a
  // share, a local file) is refused before the service sees it.
  for (const auto& [url, code] : {std::pair{u"\\\\attacker\\share\\a.zip", 12005u},
                                  std::pair{u"file://attacker/share/a.zip", 12006u},
                                  std::pair{u"FILE:///C:/Windows/System32/config/SAM", 12006u},
                                  std::pair{u"http:\\\\attacker\\share", 12005u}}) {
    completions.clear();
    script = JobScript();
    done = RunDownload(url);
    EXPECT_EQ(done.result, code);
    EXPECT_TRUE(script.remoteUrl.empty());
    EXPECT_EQ(script.resumes, 0);
  }
}

TEST_F(JobPollingLoopTest, CompletionThatCannotPlaceTheFileFails) {
  script.polls = {Poll(State::kTransferred, 5, 5)};
  script.completeCode = HResultFromWin32(5);
  const CallbackPayload done = RunDownload();
  EXPECT_EQ(done.result, 5u);
  EXPECT_NE(done.message.find("0x80070005"), std::string::npos);
}

TEST_F(JobPollingLoopTest, IntegrityFiguresCheckTheFinishedFile) {
  const std::string body = "hello";
  // sha256("hello")
  const std::string hash = "2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824";
  struct Case {
    std::optional<uint64_t> size;
    std::string sha256;
    uint32_t result;
  };
  for (const Case& c : {Case{5, hash, 0}, Case{6, hash, 24},
                        Case{std::nullopt, "00" + hash.substr(2), 23}, Case{5, "", 0}}) {
    SCOPED_TRACE(c.result);
    completions.clear();
    script = JobScript();
    script.polls = {Poll(State::kTransferred, 5, 5)};
    script.fileContentOnComplete = body;
    engine = nullptr;
    auto run = [&] {
      engine = std::make_shared<DownloadEngine>(clock, script.Factory());
      engine->expectedSize = c.size;
      engine->expectedSha256 = c.sha256;
      engine->onComplete = [this](const CallbackPayload& p) { completions.push_back(p); };
      engine->url = u"http://127.0.0.1/a.zip";
      engine->destPath = folder.path() / "i" / "a.zip";
      engine->Run();
    };
    run();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0].result, c.result);
    EXPECT_EQ(fs::exists(engine->destPath), c.result == 0);
    if (c.result != 0) {
      EXPECT_NE(completions[0].message.find("incomplete or corrupt"), std::string::npos);
    }
  }
}

TEST(PresignedUrlTest, NeedsBothTheStorageHostAndTheSignatureInAnyCase) {
  EXPECT_TRUE(IsPresignedS3Url(u"https://b.S3.AmazonAws.com/k.zip?X-Amz-Algorithm=AWS4"));
  EXPECT_FALSE(IsPresignedS3Url(u"https://b.s3.amazonaws.com/k.zip"));
  EXPECT_FALSE(IsPresignedS3Url(u"https://cdn.example/k.zip?x-amz-algorithm=AWS4"));
  EXPECT_FALSE(IsPresignedS3Url(u""));
}

// Every store that signs the query refuses the background service's HEAD request; a URL that
// merely mentions a signature name does not have one.
TEST(PresignedUrlTest, EveryQuerySignatureTakesTheDirectTransfer) {
  for (const char16_t* url : {
           u"https://b.s3.amazonaws.com/k.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256",
           u"https://b.s3.eu-west-1.amazonaws.com/k.zip?X-Amz-Algorithm=AWS4&X-Amz-Signature=a",
           u"https://b.s3.dualstack.us-east-2.amazonaws.com/k.zip?x-amz-signature=a",
           u"https://b.s3-accelerate.amazonaws.com/k.zip?X-Amz-Algorithm=AWS4",
           u"https://minio.corp.example:9000/b/k.zip?X-Amz-Credential=c&X-Amz-Signature=a",
           u"https://storage.googleapis.com/b/k.zip?X-Goog-Algorithm=GOOG4-RSA-SHA256",
           u"https://cdn.example/k.zip?x-goog-signature=ab",
           u"https://acct.blob.core.windows.net/c/k.zip?sv=2022-11-02&se=2026-01-01&sr=b&sig=a%2B",
       }) {
    EXPECT_EQ(ChooseTransferKind(url), TransferKind::kDirect) << Utf16ToUtf8(url);
  }
  for (const char16_t* url : {
           u"https://cdn.example/k.zip",
           u"https://b.s3.eu-west-1.amazonaws.com/k.zip",
           u"https://cdn.example/x-amz-algorithm=/k.zip",
           u"https://cdn.example/k.zip?file=X-Amz-Signature",
           u"https://cdn.example/k.zip#?X-Amz-Signature=a",
           u"https://cdn.example/k.zip?sig=a&se=b",
           u"https://cdn.example/k.zip?sv=1&se=2&signature=3",
       }) {
    EXPECT_EQ(ChooseTransferKind(url), TransferKind::kBackgroundJob) << Utf16ToUtf8(url);
  }
}

}  // namespace
