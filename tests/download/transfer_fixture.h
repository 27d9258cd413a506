#pragma once

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "base/hresult.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "download/recording_clock.h"
#include "support/fault_http_server.h"
#include "support/logger_fixture.h"

// Real transfers against the fault-injecting server, with pauses on a recording clock.
class TransferFixture : public LoggerFixture {
 protected:
  // A body of `size` pseudo-random bytes, written to a file the server can send.
  std::filesystem::path MakeBody(size_t size) {
    body.resize(size);
    std::mt19937 random(static_cast<unsigned>(size));
    for (char& c : body) c = static_cast<char>(random());
    const std::filesystem::path file = folder.path() / "body.bin";
    std::ofstream(file, std::ios::binary).write(body.data(), static_cast<std::streamsize>(size));
    return file;
  }

  std::shared_ptr<DownloadEngine> MakeEngine(const std::string& url,
                                             const std::filesystem::path& dest) {
    auto made = std::make_shared<DownloadEngine>(clock);
    made->onProgress = [this](const CallbackPayload& p) {
      std::lock_guard lock(mutex);
      progress.push_back(p);
    };
    made->onComplete = [this](const CallbackPayload& p) {
      std::lock_guard lock(mutex);
      completions.push_back(p);
    };
    made->url = Utf8ToUtf16(url);
    made->destPath = dest;
    return made;
  }

  // Runs the worker body on the test thread and returns the completion.
  CallbackPayload Download(const std::string& url) {
    engine = MakeEngine(url, Destination());
    engine->Run();
    std::lock_guard lock(mutex);
    EXPECT_EQ(completions.size(), 1u);
    return completions.empty() ? CallbackPayload() : completions.back();
  }

  // Starts a worker thread, cancels once the server has a request and the page a report, and
  // waits up to `stopTimeoutMs` for the end.
  CallbackPayload DownloadAndCancel(const std::string& url, FaultHttpServer& server,
                                    int stopTimeoutMs = 20000) {
    engine = MakeEngine(url, Destination());
    EXPECT_TRUE(engine->StartDownload(engine->url, engine->destPath, "c"));
    WaitFor([&] { return !server.Requests().empty() && ProgressCount() > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // A second start on an engine whose worker runs changes nothing.
    EXPECT_FALSE(engine->StartDownload(u"http://127.0.0.1:9/other", "/nonexistent/x", "other"));
    EXPECT_EQ(engine->cbid, "c");
    engine->cancelRequested.store(true);
    EXPECT_TRUE(WaitFor([&] { return !engine->running.load(); }, stopTimeoutMs));
    std::lock_guard lock(mutex);
    EXPECT_EQ(completions.size(), 1u);
    return completions.empty() ? CallbackPayload() : completions.back();
  }

  static bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  size_t ProgressCount() {
    std::lock_guard lock(mutex);
    return progress.size();
  }

  // A sign-in page sent with status 200 ended the download at its first answer, with what to
  // do, and nothing was kept as the archive.
  void ExpectEndedAsAWebPage(const CallbackPayload& done, const FaultHttpServer& server) const {
    EXPECT_EQ(done.result, page_result::kWebPageInsteadOfArchive);
    EXPECT_EQ(done.message, download_text::kWebPageInsteadOfArchive);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Destination()));
  }

  std::filesystem::path Destination() const { return destFolder / "{GUID}" / "archive.zip"; }

  std::string FileContent(const std::filesystem::path& file) const {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void TearDown() override {
    if (engine) WaitFor([&] { return !engine->running.load(); });
    LoggerFixture::TearDown();
  }

  // Each pause also yields 1 ms, so a job thread gets on while a loop backs off in virtual time.
  RecordingClock clock{std::chrono::milliseconds(1)};
  TemporaryFolder folder;
  std::filesystem::path destFolder = folder.path() / "dest";
  std::string body;
  std::shared_ptr<DownloadEngine> engine;
  std::mutex mutex;
  std::vector<CallbackPayload> progress;
  std::vector<CallbackPayload> completions;
};
