#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/hex_string.h"
#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "download/kept_downloads.h"
#include "download/request_headers.h"
#include "download/transfer_figures.h"
#include "download/web_page_answer.h"
#include "log/logger.h"
#include "net/proxy_route.h"
#include "net/request_url.h"
#include "net/transfer_error.h"

using std::chrono::milliseconds;

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr int32_t kMaxErrorPolls = 20;
constexpr int32_t kMaxTransientPolls = 20;
constexpr milliseconds kSettlePause(500);
constexpr int64_t kSampleIntervalMs = 2000;
// A slow download also reports once a second while bytes move: a tenth of a percent of a large
// archive can take longer than the page waits before it calls a download stalled.
constexpr int64_t kReportIntervalMs = 1000;

// 1 s shifted left by `count` (capped at 10 shifts), at most 60 s.
milliseconds BackOff(int32_t count) {
  const int32_t shift = std::min(count, 10);
  return milliseconds(std::min<int64_t>(int64_t{1000} << shift, 60000));
}

// Answers that no retry can change: the server refused this URL (credentials wanted, a link
// expired or never valid, the file gone), or answered with a web page instead of the archive.
// Retrying them only kept the user waiting through every back-off (about 16 minutes) before
// saying the same; the direct transfer ends on them at once too.
// The service's code for an HTTP status the server answered (base/hresult.h).
bool IsHttpStatusCode(HResult code) {
  return (static_cast<uint32_t>(code) & 0xFFFF0000u) == 0x80190000u;
}

// The page's number for the job's failure code: an HTTP status as the direct transfer gives it.
uint32_t PageResultOfJob(HResult code) {
  return IsHttpStatusCode(code) ? PageResultOfHttpStatus(LowWord(code)) : PageResultOf(code);
}

bool IsFinalRefusal(HResult code) {
  if (code == HResultFromOwnCode(page_result::kWebPageInsteadOfArchive)) return true;
  if (!IsHttpStatusCode(code)) return false;
  switch (LowWord(code)) {
    case 401:
    case 403:
    case 404:
    case kHttpProxyAuthenticationRequired:  // credentials the program has none of
    case 410:
      return true;
    default:
      return false;
  }
}

}  // namespace

void DownloadEngine::RunBackgroundJob() {
  // Outlives the job, which may take from it and keep into it (a job that writes the file
  // itself does, as the direct transfer does).
  std::optional<KeptDownloads> kept;
  std::string keptKey;
  if (!keptDownloadsFolder.empty()) {
    kept.emplace(keptDownloadsFolder);
    keptKey = KeptDownloads::KeyFor(url, expectedSize, expectedSha256);
    if (!resume) kept->Forget(keptKey);
  }
  std::unique_ptr<TransferJobManager> manager;
  const HResult managerCode = jobs_ ? jobs_(manager) : HResultFromWin32(page_result::kGenFailure);
  if (Failed(managerCode) || !manager) {
    const HResult code =
        Failed(managerCode) ? managerCode : HResultFromWin32(page_result::kGenFailure);
    result = PageResultOfJob(code);
    message = download_text::kManagerFailed + ToHexString(static_cast<uint32_t>(code)) + ". ";
    Finish();
    return;
  }
  std::unique_ptr<TransferJob> job;
  const HResult jobCode = manager->CreateJob(download_text::kJobDisplayName, job);
  if (Failed(jobCode) || !job) {
    const HResult code = Failed(jobCode) ? jobCode : HResultFromWin32(page_result::kGenFailure);
    result = PageResultOfJob(code);
    message = download_text::kJobFailed + ToHexString(static_cast<uint32_t>(code)) + ". ";
    manager.reset();
    Finish();
    return;
  }

  job->SetNoProxy();
  // Asked before the service sees the URL: the platform's service takes UNC names and file://
  // URLs too, which must never be fetched with the elevated program's rights.
  const uint32_t urlError = CheckDownloadUrl(Utf16ToUtf8(url));
  if (const HResult addCode =
          urlError != 0 ? HResultFromWin32(urlError) : job->AddFile(url, destPath);
      Failed(addCode)) {
    // A URL that can never be fetched (an empty one, a bad scheme) ends the download at once:
    // retrying a job without a file would only wait through every back-off before saying so.
    result = PageResultOfJob(addCode);
    message = download_text::kUrlRefused + ToHexString(static_cast<uint32_t>(addCode)) + ". ";
    Logger::Log(LogLevel::Error, kCategory, message);
    job->Cancel();
    job.reset();
    manager.reset();
    Finish();
    return;
  }
  job->SetCustomHeaders(DownloadHeaderBlock());
  if (arrivingArchiveCheck) job->WatchWrites(arrivingArchiveCheck.get());
  if (kept) job->KeepBytesIn(&*kept, keptKey);
  // Direct first; after a connection that could not be made, once, the system's proxy (the
  // service's own setting of it: net/proxy_route.h decides, the job applies). A job on the
  // program's own session routes itself.
  const bool routed = job->RoutesItself();
  ProxyRoute route(
      Utf16ToUtf8(url),
      [&job](const std::string&) -> std::optional<SystemProxy> {
        std::string proxy;
        if (job->UseSystemProxy(proxy) != kOk || proxy.empty()) return std::nullopt;
        return SystemProxy{proxy, {}};
      },
      nullptr);
  if (!routed) Logger::Log(LogLevel::Info, kCategory, route.DescribeStart());
  const auto throughProxy = [&route, routed](const std::optional<TransferJobError>& error) {
    if (routed || !error || !error->code ||
        *error->code != HResultFromWin32(LowWord(*error->code))) {
      return false;
    }
    std::string line;
    const bool retry = route.FallBack(LowWord(*error->code), line);
    if (!line.empty()) Logger::Log(LogLevel::Info, kCategory, line);
    return retry;
  };
  job->Resume();

  int32_t transientErrors = 0;
  int32_t lastPerMille = 0;
  Clock::TimePoint lastSampleTime = startTime_;
  Clock::TimePoint lastReportTime = startTime_;
  uint64_t lastSampleBytes = 0;
  // Pauses end early on a cancel so that a closing window is not held by a 60 s back-off; the
  // next poll then cancels the job.
  const auto pause = [this](milliseconds duration) { clock_.WaitFor(duration, &cancelRequested); };
  // A back-off is announced first, with what the job waits for and which retry comes: a page
  // that only sees figures stand still cannot tell a server that is down from a slow one.
  const auto backOff = [&](milliseconds duration, int32_t retry, int32_t retries,
                           const std::optional<TransferJobError>& error) {
    attempt = static_cast<uint32_t>(retry);
    attempts = static_cast<uint32_t>(retries);
    retryInMs = static_cast<uint64_t>(duration.count());
    waitingFor = error && error->code && IsHttpStatusCode(*error->code) ? "server" : "network";
    ReportProgress();
    pause(duration);
    attempt = 0;
    attempts = 0;
    retryInMs = 0;
    waitingFor.clear();
  };

  for (bool polling = true; polling;) {
    uint32_t state = 0;
    const HResult stateCode = job->GetState(state);
    if (Failed(stateCode)) {
      // Ending with result 0 here would report a download that never finished as a success.
      if (result == 0) {
        result = PageResultOfJob(stateCode);
        message =
            "Download state unavailable, " + ToHexString(static_cast<uint32_t>(stateCode)) + ". ";
        Logger::Log(LogLevel::Error, kCategory, message);
      }
      break;
    }
    if (cancelRequested.load()) state = static_cast<uint32_t>(TransferJobState::kCancelled);
    if (state > static_cast<uint32_t>(TransferJobState::kCancelled)) {
      result = page_result::kUnknownState;
      message = download_text::kUnknownState;
      break;
    }

    switch (static_cast<TransferJobState>(state)) {
      case TransferJobState::kQueued:
      case TransferJobState::kConnecting:
        ReportProgress();
        Logger::Log(LogLevel::Debug, kCategory,
                    state == 0 ? "BITS state QUEUED" : "BITS state CONNECTING");
        pause(kSettlePause);
        break;

      case TransferJobState::kTransferring: {
        if (transientErrors > 0) --transientErrors;
        TransferJobProgress progress;
        if (Failed(job->GetProgress(progress))) break;
        if (!onProgress || progress.bytesTotal == 0) break;
        const auto perMille =
            static_cast<int32_t>(static_cast<double>(progress.bytesTransferred) /
                                 static_cast<double>(progress.bytesTotal) * 100.0 * 10.0);
        const Clock::TimePoint now = clock_.Now();
        const bool secondWithBytes = progress.bytesTransferred > done &&
                                     WholeMilliseconds(lastReportTime, now) >= kReportIntervalMs;
        if (perMille <= lastPerMille && lastPerMille != 0 && !secondWithBytes) break;
        lastPerMille = std::max(perMille, lastPerMille);
        done = progress.bytesTransferred;
        todo = progress.bytesTotal;
        ReportProgress();
        lastReportTime = now;
        const int64_t elapsed = WholeMilliseconds(lastSampleTime, now);
        if (elapsed < kSampleIntervalMs) break;
        const double mbps = static_cast<double>(progress.bytesTransferred - lastSampleBytes) * 8.0 /
                            1000000.0 / (static_cast<double>(elapsed) / 1000.0);
        Logger::Log(LogLevel::Info, kCategory,
                    "InstMbps=" + FormatDouble(mbps) +
                        ", transferred=" + std::to_string(progress.bytesTransferred));
        lastSampleBytes = progress.bytesTransferred;
        lastSampleTime = now;
        break;
      }

      case TransferJobState::kSuspended:
      case TransferJobState::kError: {
        std::optional<TransferJobError> error = job->GetError();
        if (throughProxy(error)) {
          job->Resume();
          pause(kSettlePause);
          break;
        }
        const bool refused = error && error->code && IsFinalRefusal(*error->code);
        if (refused && route.proxy() != nullptr &&
            *error->code == HResultFromHttpStatus(kHttpProxyAuthenticationRequired)) {
          Logger::Log(LogLevel::Error, kCategory, route.DescribeCredentialsWanted());
        }
        if (!refused && transientErrors < kMaxErrorPolls) {
          ++transientErrors;
          backOff(BackOff(transientErrors), transientErrors, kMaxErrorPolls, error);
          job->Resume();
          pause(kSettlePause);
          break;
        }
        // Give up: the next poll sees the flag and cancels the job, keeping this result.
        cancelRequested.exchange(true);
        if (TransferJobProgress progress; todo == 0 && !Failed(job->GetProgress(progress)) &&
                                          progress.bytesTotal != kUnknownSize) {
          todo = progress.bytesTotal;  // a full disk's message names the size
        }
        if (!refused) error = job->GetError();  // as the job tells it after the last retry
        if (error) {
          const HResult code = error->code.value_or(kOk);
          message = error->description ? *error->description : download_text::kUnknownError;
          result = PageResultOfJob(code);
          Logger::Log(LogLevel::Error, kCategory,
                      message + ", hr=" + ToHexString(static_cast<uint32_t>(code)));
        } else {
          message = download_text::kFailedNoDetail;
          result = page_result::kFailedNoDetail;
          Logger::Log(LogLevel::Error, kCategory, message);
        }
        pause(kSettlePause);
        break;
      }

      case TransferJobState::kTransientError:
        if (throughProxy(job->GetError())) {
          job->Resume();
          pause(kSettlePause);
          break;
        }
        // The last of these pauses is followed by one more try than the limit: it counts.
        backOff(BackOff(transientErrors), transientErrors + 1, kMaxTransientPolls + 1,
                job->GetError());
        job->Resume();
        ++transientErrors;
        if (transientErrors > kMaxTransientPolls) {
          result = page_result::kTooManyTransient;
          message = download_text::kTooManyTransient;
          if (std::optional<TransferJobError> error = job->GetError(); error && error->code) {
            message += ToHexString(static_cast<uint32_t>(*error->code)) + ". ";
            if (error->description) message += *error->description;
          }
          pause(kSettlePause);
          polling = false;
          break;
        }
        pause(kSettlePause);
        break;

      case TransferJobState::kTransferred: {
        const HResult completeCode = job->Complete();
        result = 0;
        const int64_t durationMs = WholeMilliseconds(startTime_, clock_.Now());
        TransferJobProgress progress;
        job->GetProgress(progress);
        const uint64_t bytes = progress.bytesTransferred;
        const double mbps = durationMs > 0 && bytes != 0
                                ? static_cast<double>(bytes) * 8.0 / 1000000.0 /
                                      (static_cast<double>(durationMs) / 1000.0)
                                : 0.0;
        Logger::Log(LogLevel::Info, kCategory,
                    "BITS completed bytes=" + std::to_string(bytes) + ", durationMs=" +
                        std::to_string(durationMs) + ", avgThroughputMbps=" + FormatDouble(mbps));
        // A file that could not be put in place is no download, whatever the transfer did.
        if (Failed(completeCode)) {
          result = PageResultOfJob(completeCode);
          message = "Download could not be completed, " +
                    ToHexString(static_cast<uint32_t>(completeCode)) + ". ";
          Logger::Log(LogLevel::Error, kCategory, message);
        } else if (FileBeginsAsHtml(destPath)) {
          // The platform's service shows no headers, only the finished file: a sign-in page
          // of a captive network is told by its first bytes, which no archive begins with.
          result = page_result::kWebPageInsteadOfArchive;
          Logger::Log(LogLevel::Error, kCategory,
                      "The downloaded file is a web page, not the archive; it is removed");
          std::error_code ignored;
          std::filesystem::remove(destPath, ignored);
        }
        polling = false;
        break;
      }

      case TransferJobState::kAcknowledged:
        polling = false;
        break;

      case TransferJobState::kCancelled:
        job->Cancel();
        if (result == 0) result = page_result::kCancelled;
        pause(kSettlePause);
        polling = false;
        break;
    }
  }

  job.reset();
  manager.reset();
  Finish();
}
