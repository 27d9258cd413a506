#include "download/transfer_job_curl.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/page_results.h"
#include "base/utf_convert.h"
#include "download/file_errors.h"
#include "download/kept_downloads.h"
#include "download/network_error_text.h"
#include "download/request_headers.h"
#include "download/resume_decision.h"
#include "download/watched_file.h"
#include "download/web_page_answer.h"
#include "log/logger.h"
#include "net/failure_kind.h"
#include "net/http_session.h"
#include "net/request_url.h"
#include "net/transfer_error.h"

namespace fs = std::filesystem;

namespace {

// Win32 ERROR_INVALID_STATE: an operation the job's state does not allow.
constexpr HResult kInvalidState = HResultFromWin32(5023);
constexpr HResult kNotSupported = HResultFromWin32(50);
// A stalled connection becomes a transient error after this long without a byte.
constexpr std::chrono::seconds kStallLimit(120);
constexpr uint32_t kPartialContent = 206;
constexpr char kCategory[] = "Engine.Download";
// How long GetState may wait for news while transferring: it keeps the polling loop, which does
// not pause in that state, from spinning a processor core.
constexpr std::chrono::milliseconds kTransferringPollWait(5);

std::string DescribeFileError(uint32_t error) {
  switch (error) {
    case page_result::kDiskFull:
      return "There is not enough space on the disk.";
    case page_result::kAccessDenied:
      return "Access is denied.";
    case page_result::kFileTooLarge:
      return "The file size exceeds the limit allowed.";
    default:
      return "The downloaded file could not be written (error " + std::to_string(error) + ").";
  }
}

class CurlTransferJob final : public TransferJob {
 public:
  ~CurlTransferJob() override {
    StopWorker();
    if (!completed_) KeepOrRemovePartial();
  }

  // The session routes itself (net/proxy_route.h).
  HResult SetNoProxy() override { return kOk; }
  HResult UseSystemProxy(std::string& proxy) override {
    proxy.clear();
    return HResult{1};
  }
  bool RoutesItself() const override { return true; }

  // Before the first Resume, whose thread then reads them without the lock.
  void KeepBytesIn(KeptDownloads* store, const std::string& key) override {
    kept_ = store;
    keptKey_ = key;
  }

  HResult AddFile(const std::u16string& remoteUrl, const fs::path& local) override {
    std::lock_guard lock(mutex_);
    if (!url_.empty()) return kNotSupported;  // one file per job
    std::string url = Utf16ToUtf8(remoteUrl);
    // Like the platform's service, refuse at once what no retry can ever fetch.
    if (const uint32_t error = CheckHttpUrl(EscapeNonAscii(remoteUrl))) {
      return HResultFromWin32(error);
    }
    url_ = std::move(url);
    dest_ = local;
    partial_ = local;
    partial_ += ".partial";
    progress_.filesTotal = 1;
    return kOk;
  }

  HResult SetCustomHeaders(const std::string& headers) override {
    std::lock_guard lock(mutex_);
    headers_.clear();
    size_t start = 0;
    while (start < headers.size()) {
      size_t end = headers.find("\r\n", start);
      if (end == std::string::npos) end = headers.size();
      if (end > start) headers_.push_back(headers.substr(start, end - start));
      start = end + 2;
    }
    return kOk;
  }

  HResult Resume() override {
    std::unique_lock lock(mutex_);
    if (url_.empty()) return kInvalidState;
    switch (state_) {
      case TransferJobState::kSuspended:
      case TransferJobState::kError:
      case TransferJobState::kTransientError:
        break;
      case TransferJobState::kCancelled:
      case TransferJobState::kAcknowledged:
        return kInvalidState;
      default:
        return kOk;  // already running or transferred
    }
    lock.unlock();
    StopWorker();  // a finished thread of the previous run
    lock.lock();
    state_ = TransferJobState::kQueued;
    stop_.store(false);
    worker_ = std::thread([this] { Transfer(); });
    return kOk;
  }

  HResult GetState(uint32_t& state) override {
    std::unique_lock lock(mutex_);
    if (state_ == TransferJobState::kTransferring) {
      changed_.wait_for(lock, kTransferringPollWait,
                        [&] { return state_ != TransferJobState::kTransferring; });
    }
    state = static_cast<uint32_t>(state_);
    return kOk;
  }

  HResult GetProgress(TransferJobProgress& progress) override {
    std::lock_guard lock(mutex_);
    progress = progress_;
    return kOk;
  }

  std::optional<TransferJobError> GetError() override {
    // The last failure stays readable after Resume until the job transfers, so that a caller
    // that resumes first and asks afterwards still learns why the job failed.
    std::lock_guard lock(mutex_);
    return error_;
  }

  HResult Cancel() override {
    {
      std::lock_guard lock(mutex_);
      if (state_ == TransferJobState::kCancelled || state_ == TransferJobState::kAcknowledged) {
        return kInvalidState;
      }
    }
    StopWorker();
    KeepOrRemovePartial();
    std::lock_guard lock(mutex_);
    state_ = TransferJobState::kCancelled;
    changed_.notify_all();
    return kOk;
  }

  // Before the first Resume, whose thread then reads it without the lock.
  void WatchWrites(FileWriteWatcher* watcher) override { watcher_ = watcher; }

  HResult Complete() override {
    std::lock_guard lock(mutex_);
    if (state_ != TransferJobState::kTransferred) return kInvalidState;
    std::error_code ec;
    fs::rename(partial_, dest_, ec);
    if (ec) return HResultFromWin32(Win32ErrorFromFileError(ec));
    completed_ = true;
    state_ = TransferJobState::kAcknowledged;
    return kOk;
  }

 private:
  // One run of the worker thread: from the bytes already on disk to the end of the body; the
  // receiver of its answer.
  struct Run final : public HttpAnswerReceiver {
    explicit Run(CurlTransferJob& owner) : job(owner) {}

    TransferError OnHead(const HttpAnswerHead& head) override {
      status = head.status;
      // An error page is no archive: its status fails the request.
      if (!StatusOk()) return TransferError(head.status);
      htmlType = IsHtmlContentType(head.contentType);
      return job.OnBodyStarts(*this, head);
    }

    TransferError OnBody(const char* data, size_t size) override {
      if (job.stop_.load()) return TransferError(page_result::kCancelled);
      // A sign-in or error page sent as a success is no archive: no retry would make it one.
      if (htmlType && file->size() == 0 && BeginsAsHtml(std::string_view(data, size))) {
        webPage = true;
        return TransferError(page_result::kWebPageInsteadOfArchive);
      }
      // Outside the job's lock: the watcher may hold the write back while it catches up.
      if (const TransferError error = file->Write(data, size)) {
        fileError = error.code();
        return error;
      }
      std::lock_guard lock(job.mutex_);
      job.progress_.bytesTransferred += size;
      return TransferError();
    }

    bool StatusOk() const { return status >= 200 && status < 300; }

    CurlTransferJob& job;
    std::unique_ptr<WatchedFile> file = nullptr;
    uint64_t offset = 0;  // bytes on disk when this request was sent
    uint32_t status = 0;
    uint32_t fileError = 0;
    bool rangeMismatch = false;  // an answer for other bytes, or another file, than asked for
    bool htmlType = false;       // the answer's Content-Type is text/html
    bool webPage = false;        // ... and its body began as a web page does
  };

  void StopWorker() {
    stop_.store(true);
    if (worker_.joinable()) worker_.join();
  }

  void RemovePartial() {
    std::error_code ignored;
    if (!partial_.empty()) fs::remove(partial_, ignored);
  }

  // What a stopped job wrote is the start of the server's file (every answer was checked
  // against its validator): kept under the job's key so that asking again goes on from it. Not
  // after the file's own failures, nor without a validator to check it with later.
  void KeepOrRemovePartial() {
    if (kept_ != nullptr && !keptKey_.empty() && !fileFailed_ && !validator_.empty() && total_) {
      std::error_code ec;
      const uint64_t size = fs::file_size(partial_, ec);
      if (!ec && size > 0 && size < *total_ &&
          kept_->Keep(keptKey_, partial_, KeptDownload{size, *total_, validator_, {}})) {
        Logger::Log(LogLevel::Info, kCategory,
                    "Kept " + std::to_string(size) + " of " + std::to_string(*total_) +
                        " bytes to continue later");
        return;
      }
    }
    RemovePartial();
  }

  void SetState(TransferJobState state) {
    std::lock_guard lock(mutex_);
    state_ = state;
    changed_.notify_all();
  }

  void Fail(TransferJobState state, HResult code, std::string description) {
    std::lock_guard lock(mutex_);
    error_ = TransferJobError{code, std::move(description)};
    state_ = state;
    changed_.notify_all();
  }

  // A 206 that continues another file than the one on disk: the server's If-Range check was
  // skipped (some servers and caches ignore it), and its validator or total gives it away.
  bool IsOtherFile(const Run& run, const HttpAnswerHead& head) const {
    if (head.status != kPartialContent || run.offset == 0) return false;
    const std::string validator = IfRangeValidator(head);
    return (!validator_.empty() && !validator.empty() && validator != validator_) ||
           (total_ && head.contentRangeTotal && *head.contentRangeTotal != *total_);
  }

  TransferError OnBodyStarts(Run& run, const HttpAnswerHead& head) {
    const ResumeDecision decision =
        DecideResume(run.offset, head.status, head.contentRangeFirstByte, head.contentLength);
    if (decision.action == ResumeAction::kRangeMismatch || IsOtherFile(run, head)) {
      // The bytes on disk go, and the next Resume starts over from zero.
      if (run.offset > 0) {
        Logger::Log(LogLevel::Info, kCategory, "The file changed on the server; starting over");
      }
      run.rangeMismatch = true;
      return TransferError(page_result::kHttpInvalidResponse);
    }
    if (decision.action == ResumeAction::kStartOver) {
      if (run.offset > 0) {
        Logger::Log(LogLevel::Info, kCategory,
                    "The server sent the whole file for a range; starting over");
      }
      if (const TransferError error = run.file->Empty()) {
        run.fileError = error.code();
        fileFailed_ = true;
        return error;
      }
      run.offset = 0;
    }
    if (head.status != kPartialContent) {
      validator_ = IfRangeValidator(head);
      total_ = head.contentLength;
    } else if (!total_) {
      validator_ = IfRangeValidator(head);
      total_ = head.contentRangeTotal;
    }
    std::lock_guard lock(mutex_);
    progress_.bytesTransferred = run.offset;
    progress_.bytesTotal = decision.expectedEnd.value_or(kUnknownSize);
    state_ = TransferJobState::kTransferring;
    changed_.notify_all();
    return TransferError();
  }

  // The bytes kept under the job's key become the partial file, once, before the first request;
  // the watcher hears of them first. Bytes kept further on are of no use to one connection.
  std::optional<KeptDownload> TakeKeptBytes() {
    if (keptTaken_ || kept_ == nullptr || keptKey_.empty()) return std::nullopt;
    keptTaken_ = true;
    std::error_code ec;
    if (fs::exists(partial_, ec) || ec) return std::nullopt;
    std::optional<KeptDownload> kept = kept_->TakeInto(keptKey_, partial_);
    if (!kept) return std::nullopt;
    fs::resize_file(partial_, kept->size, ec);
    if (ec) {
      RemovePartial();
      return std::nullopt;
    }
    validator_ = kept->validator;
    total_ = kept->total;
    Logger::Log(LogLevel::Info, kCategory,
                "Continuing a kept download: " + std::to_string(kept->size) + " of " +
                    std::to_string(kept->total) + " bytes on disk");
    return kept;
  }

  void Transfer() {
    SetState(TransferJobState::kConnecting);
    const std::optional<KeptDownload> kept = TakeKeptBytes();
    std::error_code ec;
    const uint64_t onDisk = fs::exists(partial_, ec) ? fs::file_size(partial_, ec) : 0;
    Run run(*this);
    run.offset = ec ? 0 : onDisk;
    std::unique_ptr<DownloadFile> file;
    const DownloadFile::Start start =
        run.offset > 0 ? DownloadFile::Start::kAfterItsEnd : DownloadFile::Start::kEmpty;
    if (const TransferError error = DownloadFile::Open(partial_, start, file)) {
      Fail(TransferJobState::kError, HResultFromWin32(error.code()),
           DescribeFileError(error.code()));
      return;
    }
    std::vector<FileWriteWatcher*> watchers;
    if (watcher_ != nullptr) watchers.push_back(watcher_);
    if (kept && run.offset == kept->size) {
      run.file = std::make_unique<WatchedFile>(std::move(file), 0, std::move(watchers));
      if (run.file->TellKeptStart(run.offset)) {
        Logger::Log(LogLevel::Warn, kCategory, "Kept bytes unreadable; starting over");
        validator_.clear();
        total_.reset();
        if (const TransferError error = run.file->Empty()) {
          fileFailed_ = true;
          Fail(TransferJobState::kError, HResultFromWin32(error.code()),
               DescribeFileError(error.code()));
          return;
        }
        run.offset = 0;
      }
    } else {
      run.file = std::make_unique<WatchedFile>(std::move(file), run.offset, std::move(watchers));
    }
    if (!session_) {
      HttpSessionOptions options;
      options.headers = headers_;
      options.idleLimit = kStallLimit;
      if (const TransferError error =
              OpenHttpSession(EscapeNonAscii(Utf8ToUtf16(url_)), std::move(options), session_)) {
        static_cast<void>(run.file->Close());
        Fail(TransferJobState::kError, HResultFromWin32(error.code()),
             DescribeNetworkError(error.code()));
        return;
      }
    }
    // The rest only of the file on disk, and only while it is still the same file.
    const HttpGetRange range{run.offset, std::nullopt, run.offset > 0 ? validator_ : "", false};
    const TransferError ended = session_->Get(range, stop_, run);
    const TransferError closed = run.file->Close();
    if (stop_.load()) return;  // Cancel or the destructor settles the state
    if (run.fileError == 0 && closed) {
      run.fileError = closed.code();
      fileFailed_ = true;
    }
    if (run.fileError != 0) fileFailed_ = true;

    if (run.webPage) {
      RemovePartial();
      Fail(TransferJobState::kError, HResultFromOwnCode(page_result::kWebPageInsteadOfArchive),
           "The server answered with a web page instead of the file.");
    } else if (run.rangeMismatch) {
      RemovePartial();
      validator_.clear();
      total_.reset();
      Fail(TransferJobState::kTransientError, HResultFromWin32(page_result::kHttpInvalidResponse),
           DescribeNetworkError(page_result::kHttpInvalidResponse));
    } else if (run.fileError != 0) {
      Fail(TransferJobState::kError, HResultFromWin32(run.fileError),
           DescribeFileError(run.fileError));
    } else if (run.status != 0 && !run.StatusOk()) {
      if (run.status == 416 && run.offset > 0) {
        // The bytes on disk do not fit what the server has now: start over on the next Resume.
        RemovePartial();
        validator_.clear();
        total_.reset();
      }
      Fail(IsTransientHttpStatus(run.status) || run.status == 416
               ? TransferJobState::kTransientError
               : TransferJobState::kError,
           HResultFromHttpStatus(run.status),
           "The server answered with HTTP status " + std::to_string(run.status) + ".");
    } else if (ended.code() == page_result::kProxyCredentialsWanted) {
      Fail(TransferJobState::kError, HResultFromHttpStatus(kHttpProxyAuthenticationRequired),
           "The proxy server asks for credentials (HTTP status 407).");
    } else if (ended) {
      Fail(IsRetryableNetworkError(ended.code()) ? TransferJobState::kTransientError
                                                 : TransferJobState::kError,
           HResultFromWin32(ended.code()), DescribeNetworkError(ended.code()));
    } else {
      std::lock_guard lock(mutex_);
      if (progress_.bytesTotal != kUnknownSize &&
          progress_.bytesTransferred != progress_.bytesTotal) {
        error_ = TransferJobError{HResultFromWin32(page_result::kHttpConnectionError),
                                  DescribeNetworkError(page_result::kHttpConnectionError)};
        state_ = TransferJobState::kTransientError;
      } else {
        progress_.bytesTotal = progress_.bytesTransferred;
        progress_.filesTransferred = 1;
        error_.reset();
        state_ = TransferJobState::kTransferred;
      }
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  TransferJobState state_ = TransferJobState::kSuspended;
  TransferJobProgress progress_{kUnknownSize, 0, 0, 0};
  std::optional<TransferJobError> error_;
  std::string url_;
  fs::path dest_;
  fs::path partial_;
  std::vector<std::string> headers_;
  std::atomic<bool> stop_{false};
  std::thread worker_;
  bool completed_ = false;
  FileWriteWatcher* watcher_ = nullptr;
  // The worker's, one run at a time; the destructor's and Cancel's once it stopped.
  std::unique_ptr<HttpSession> session_;  // kept between runs: its route holds
  std::string validator_;                 // of the bytes on disk, for If-Range
  std::optional<uint64_t> total_;         // the file's whole size, when the server said
  bool fileFailed_ = false;               // the bytes on disk are not known to be the file's
  KeptDownloads* kept_ = nullptr;
  std::string keptKey_;
  bool keptTaken_ = false;
};

class CurlTransferJobManager final : public TransferJobManager {
 public:
  HResult CreateJob(const std::string&, std::unique_ptr<TransferJob>& job) override {
    job = std::make_unique<CurlTransferJob>();
    return kOk;
  }
};

}  // namespace

std::unique_ptr<TransferJobManager> MakeCurlTransferJobManager() {
  return std::make_unique<CurlTransferJobManager>();
}

TransferJobManagerFactory PlatformTransferJobManagerFactory() {
  return [](std::unique_ptr<TransferJobManager>& manager) {
    manager = MakeCurlTransferJobManager();
    return kOk;
  };
}
