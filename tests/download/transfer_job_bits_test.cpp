// The background job on the system's transfer service, against the fault-injecting server.
// These tests run under Wine, whose service differs from Windows' in places; each test that
// meets a difference names it and accepts both.
#include <bits.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/download_results.h"
#include "download/request_headers.h"
#include "download/transfer_error_text_bits.h"
#include "download/transfer_fixture.h"
#include "download/transfer_job_bits.h"
#include "support/system_proxy_setting.h"

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

namespace {

constexpr char kTarget[] = "/files/archive.zip?token=a%2Fb&x=1";

// How many of the user's jobs in the service carry `displayName` and can still transfer. (Windows
// drops completed and cancelled jobs from the list; Wine keeps them there, settled.)
int LiveJobsNamed(const std::string& displayName) {
  ComPtr<IBackgroundCopyManager> manager;
  ComPtr<IEnumBackgroundCopyJobs> jobs;
  if (FAILED(CoCreateInstance(CLSID_BackgroundCopyManager, nullptr, CLSCTX_LOCAL_SERVER,
                              IID_IBackgroundCopyManager,
                              reinterpret_cast<void**>(manager.GetAddressOf()))) ||
      FAILED(manager->EnumJobs(0, jobs.GetAddressOf()))) {
    return -1;
  }
  int count = 0;
  for (ComPtr<IBackgroundCopyJob> job;
       jobs->Next(1, job.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    BG_JOB_STATE state = BG_JOB_STATE_QUEUED;
    LPWSTR name = nullptr;
    if (SUCCEEDED(job->GetState(&state)) && state != BG_JOB_STATE_ACKNOWLEDGED &&
        state != BG_JOB_STATE_CANCELLED && SUCCEEDED(job->GetDisplayName(&name)) &&
        Utf16ToUtf8(reinterpret_cast<const char16_t*>(name)) == displayName) {
      ++count;
    }
    CoTaskMemFree(name);
  }
  return count;
}

class BitsJobTest : public TransferFixture {
 protected:
  // The engine's worker enters its own apartment; the test thread needs one for the service
  // calls the tests make themselves.
  void SetUp() override {
    TransferFixture::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    TransferFixture::TearDown();
    CoUninitialize();
  }
};

TEST_F(BitsJobTest, DownloadsByteForByteWithTheHeadersAndTheQueryUnchanged) {
  FaultHttpServer server({"--body-file", MakeBody(3'000'000).string()});
  const CallbackPayload done = Download(server.Url(kTarget));

  ASSERT_EQ(done.result, 0u) << done.message;
  EXPECT_TRUE(FileContent(Destination()) == body);
  // Windows' service may ask more than once (a HEAD first, ranges); every request is ours.
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  for (const nlohmann::json& request : requests) {
    EXPECT_EQ(request["target"], kTarget);
    EXPECT_EQ(request["headers"]["user-agent"], kDownloadUserAgent);
    EXPECT_EQ(request["headers"]["referer"], "https://quillfetch.localhost/");
  }
  // Wine's service never learns the size: its reports carry the unknown-size value.
  for (const CallbackPayload& p : progress) {
    if (p.done > 0) {
      EXPECT_TRUE(p.todo == body.size() || p.todo == kUnknownSize) << p.todo;
    }
    EXPECT_LE(p.done, body.size());
  }
  EXPECT_EQ(EntriesAt("INFO", "BITS completed bytes=3000000, ").size(), 1u);
  EXPECT_EQ(LiveJobsNamed(download_text::kJobDisplayName), 0);
}

TEST_F(BitsJobTest, AnHttpFailureGivesUpWithItsStatusAndADescription) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string(), "--status", "404"});
  const CallbackPayload done = Download(server.Url(kTarget));

  EXPECT_EQ(done.result, 404u);
  // Windows' service describes the status; Wine's gives no description, and ours stands in.
  ASSERT_FALSE(done.message.empty());
  EXPECT_EQ(EntriesAt("ERROR", done.message + ", hr=0x80190194").size(), 1u);
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(LiveJobsNamed(download_text::kJobDisplayName), 0);
  // A missing file stays missing: no back-off before saying so.
  for (const int64_t pause : clock.Pauses()) EXPECT_LE(pause, 500);
}

// The service hands over the finished file and no headers: its first bytes tell the page.
TEST_F(BitsJobTest, ASignInPageSentAsSuccessIsNotKept) {
  FaultHttpServer server({"--status", "200"});
  const CallbackPayload done = Download(server.Url(kTarget));
  EXPECT_EQ(done.result, page_result::kWebPageInsteadOfArchive);
  EXPECT_EQ(done.message, download_text::kWebPageInsteadOfArchive);
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(LiveJobsNamed(download_text::kJobDisplayName), 0);
}

// After a direct attempt could not connect, the job takes the service's preconfigured proxy, and
// only when WinHTTP names one for its URL. Wine's service has no proxy settings (E_NOTIMPL):
// there the switch is refused and reported as such; whether the service then goes through the
// proxy is Windows' part.
TEST_F(BitsJobTest, TheJobTakesThePreconfiguredProxyOnlyWhenTheSystemNamesOne) {
  std::unique_ptr<TransferJobManager> manager;
  ASSERT_TRUE(SUCCEEDED(CreateBitsTransferJobManager(manager)));
  std::unique_ptr<TransferJob> job;
  ASSERT_TRUE(SUCCEEDED(manager->CreateJob(download_text::kJobDisplayName, job)));
  job->SetNoProxy();  // E_NOTIMPL under Wine, as the loop meets it
  ASSERT_TRUE(SUCCEEDED(job->AddFile(u"http://127.0.0.2:1/archive.zip", folder.path() / "a.zip")));

  std::string proxy = "stale";
  EXPECT_EQ(job->UseSystemProxy(proxy), S_FALSE);  // the prefix names none
  EXPECT_TRUE(proxy.empty());
  {
    const ScopedSystemProxy setting("127.0.0.1:3128");
    const HResult used = job->UseSystemProxy(proxy);
    if (used == E_NOTIMPL) {
      EXPECT_TRUE(proxy.empty());  // Wine
    } else {
      EXPECT_EQ(used, S_OK);
      EXPECT_EQ(proxy, "127.0.0.1:3128");
    }
  }
  EXPECT_TRUE(SUCCEEDED(job->Cancel()));
}

TEST_F(BitsJobTest, ARefusedConnectionEndsTheDownloadWithAReason) {
  std::string closedUrl;
  {
    FaultHttpServer gone({});
    closedUrl = gone.Url(kTarget);
  }
  const CallbackPayload done = Download(closedUrl);

  if (done.result == page_result::kTooManyTransient) {
    // Windows: a transient error with the network's code, 21 times.
    EXPECT_EQ(done.message.rfind("Too many transient errors, aborting download 0x8007", 0), 0u)
        << done.message;
  } else {
    // Wine: an error state whose error object cannot be had, given up after its retries.
    EXPECT_EQ(done.result, page_result::kFailedNoDetail);
    EXPECT_EQ(done.message, download_text::kFailedNoDetail);
  }
  EXPECT_FALSE(fs::exists(Destination()));
  // The job was left uncancelled by the transient rule; it must not stay in the user's queue.
  EXPECT_EQ(LiveJobsNamed(download_text::kJobDisplayName), 0);
}

TEST_F(BitsJobTest, ABodyCutShortNeverPassesTheSizeCheck) {
  FaultHttpServer server({"--body-file", MakeBody(1'000'000).string(), "--cut-after", "300000"});
  engine = MakeEngine(server.Url(kTarget), Destination());
  engine->expectedSize = body.size();
  engine->Run();
  ASSERT_EQ(completions.size(), 1u);

  if (completions[0].result == 0) {
    // Windows: the service resumes the cut body and delivers all of it.
    EXPECT_TRUE(FileContent(Destination()) == body);
  } else {
    // Wine: the cut body is reported transferred; the size check fails it and removes it.
    EXPECT_EQ(completions[0].result, page_result::kSizeMismatch);
    EXPECT_FALSE(fs::exists(Destination()));
  }
}

TEST_F(BitsJobTest, CancelWhileTransferringStopsTheJob) {
  FaultHttpServer server({"--body-file", MakeBody(100000).string(), "--stall-after", "5000"});
  // Windows' service cancels at once; Wine's Cancel waits for its stalled read to time out
  // (about 30 s).
  const CallbackPayload done = DownloadAndCancel(server.Url(kTarget), server, 60000);

  EXPECT_EQ(done.result, 1602u);
  EXPECT_EQ(done.message, "");
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(LiveJobsNamed(download_text::kJobDisplayName), 0);
}

// The job on its own: what the service promises beyond the loop's use of it.
TEST_F(BitsJobTest, TheFileAppearsOnlyOnCompleteAndAForgottenJobIsCancelled) {
  FaultHttpServer server({"--body-file", MakeBody(200000).string()});
  std::unique_ptr<TransferJobManager> manager;
  ASSERT_EQ(CreateBitsTransferJobManager(manager), kOk);
  fs::create_directories(Destination().parent_path());

  std::unique_ptr<TransferJob> job;
  ASSERT_EQ(manager->CreateJob("Quillfetch test: completed", job), kOk);
  job->AddFile(Utf8ToUtf16(server.Url(kTarget)), Destination());
  job->Resume();
  uint32_t state = 0;
  ASSERT_TRUE(WaitFor([&] {
    return job->GetState(state) == kOk &&
           state == static_cast<uint32_t>(TransferJobState::kTransferred);
  }));
  EXPECT_FALSE(fs::exists(Destination()));
  EXPECT_EQ(job->Complete(), kOk);
  EXPECT_TRUE(FileContent(Destination()) == body);
  job.reset();
  EXPECT_EQ(LiveJobsNamed("Quillfetch test: completed"), 0);

  // Destroyed while it waits to retry a failure: the service must not keep it.
  FaultHttpServer failing({"--status", "404"});
  ASSERT_EQ(manager->CreateJob("Quillfetch test: forgotten", job), kOk);
  job->AddFile(Utf8ToUtf16(failing.Url(kTarget)), destFolder / "forgotten.zip");
  job->Resume();
  ASSERT_TRUE(WaitFor([&] { return !failing.Requests().empty(); }));
  EXPECT_EQ(LiveJobsNamed("Quillfetch test: forgotten"), 1);
  job.reset();
  EXPECT_EQ(LiveJobsNamed("Quillfetch test: forgotten"), 0);
}

TEST(TransferErrorTextTest, SystemTextsComeWithoutTheirLineBreak) {
  const std::optional<std::string> diskFull = DescribeTransferError(HResultFromWin32(112));
  ASSERT_TRUE(diskFull);
  ASSERT_FALSE(diskFull->empty());
  EXPECT_NE(diskFull->back(), '\n');
  EXPECT_NE(diskFull->back(), '\r');
  EXPECT_EQ(DescribeTransferError(HResultFromWin32(12030)),
            "The connection with the server was reset or ended early.");
  EXPECT_EQ(DescribeTransferError(static_cast<HResult>(0x80004005)), std::nullopt);  // E_FAIL
}

}  // namespace
