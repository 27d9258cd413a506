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
#include "download/content_range.h"
#include "download/curl_support_curl.h"
#include "download/file_errors.h"
#include "download/network_error_text.h"
#include "download/resume_decision.h"
#include "download/transfer_error.h"
#include "download/watched_file.h"
#include "download/web_page_answer.h"

namespace fs = std::filesystem;

namespace {

// Win32 ERROR_INVALID_STATE: an operation the job's state does not allow.
constexpr HResult kInvalidState = HResultFromWin32(5023);
constexpr HResult kNotSupported = HResultFromWin32(50);
// A stalled connection becomes a transient error after this long without a byte.
constexpr long kStallSeconds = 120;
// How long GetState may wait for news while transferring: it keeps the polling loop, which does
// not pause in that state, from spinning a processor core.
constexpr std::chrono::milliseconds kTransferringPollWait(5);

bool IsTransientStatus(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

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
    if (!completed_) RemovePartial();
  }

  HResult SetNoProxy() override { return kOk; }  // direct until UseSystemProxy

  HResult UseSystemProxy(std::string& proxy) override {
    std::unique_lock lock(mutex_);
    if (url_.empty()) return kInvalidState;
    const std::string url = url_;
    lock.unlock();  // the lookup may take a while; the worker is not running (an error state)
    std::optional<SystemProxy> found = SystemProxyForUrl(url);
    lock.lock();
    proxy_ = std::move(found);
    proxy = proxy_ ? proxy_->proxy : std::string();
    return proxy_ ? kOk : HResult{1};
  }

  HResult AddFile(const std::u16string& remoteUrl, const fs::path& local) override {
    std::lock_guard lock(mutex_);
    if (!url_.empty()) return kNotSupported;  // one file per job
    std::string url = Utf16ToUtf8(remoteUrl);
    // Like the platform's service, refuse at once what no retry can ever fetch.
    if (const uint32_t error = CheckCurlDownloadUrl(url)) return HResultFromWin32(error);
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
    RemovePartial();
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
  // One run of the worker thread: from the bytes already on disk to the end of the body.
  struct Run {
    CurlTransferJob* job;
    std::unique_ptr<WatchedFile> file = nullptr;
    uint64_t offset = 0;  // bytes on disk when this request was sent
    long status = 0;
    bool haveLength = false;
    uint64_t length = 0;
    std::optional<uint64_t> rangeFirstByte = std::nullopt;  // of a Content-Range header
    uint32_t fileError = 0;
    bool rangeMismatch = false;  // a 206 answer for other bytes than those asked for
    bool htmlType = false;       // the answer's Content-Type is text/html
    bool webPage = false;        // ... and its body began as a web page does
    bool StatusOk() const { return status >= 200 && status < 300; }
  };

  void StopWorker() {
    stop_.store(true);
    if (worker_.joinable()) worker_.join();
  }

  void RemovePartial() {
    std::error_code ignored;
    if (!partial_.empty()) fs::remove(partial_, ignored);
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

  static size_t OnHeader(char* line, size_t size, size_t count, void* context) {
    auto* run = static_cast<Run*>(context);
    const size_t length = size * count;
    long status = 0;
    uint64_t contentLength = 0;
    if (ParseStatusLine(line, length, status)) {
      run->status = status;
      run->haveLength = false;
      run->htmlType = false;
      run->rangeFirstByte.reset();
    } else if (ParseContentLength(line, length, contentLength)) {
      run->haveLength = true;
      run->length = contentLength;
    } else if (const auto range = HeaderValue(line, length, "content-range")) {
      run->rangeFirstByte = ContentRangeFirstByte(*range);
    } else if (const auto type = HeaderValue(line, length, "content-type")) {
      run->htmlType = IsHtmlContentType(*type);
    } else if (((length == 2 && line[0] == '\r') || (length == 1 && line[0] == '\n')) &&
               run->status >= 200 && run->StatusOk()) {
      if (!run->job->OnBodyStarts(*run)) return 0;
    }
    return length;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* run = static_cast<Run*>(context);
    const size_t length = size * count;
    if (run->job->stop_.load()) return 0;
    if (!run->StatusOk()) return length;  // an error page: read and dropped
    // A sign-in or error page sent as a success is no archive: no retry would make it one.
    if (run->htmlType && run->file->size() == 0 && BeginsAsHtml(std::string_view(data, length))) {
      run->webPage = true;
      return 0;
    }
    // Outside the job's lock: the watcher may hold the write back while it catches up.
    if (const TransferError error = run->file->Write(data, length)) {
      run->fileError = error.code();
      return 0;
    }
    std::lock_guard lock(run->job->mutex_);
    run->job->progress_.bytesTransferred += length;
    return length;
  }

  static int OnTick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<CurlTransferJob*>(context)->stop_.load() ? 1 : 0;
  }

  bool OnBodyStarts(Run& run) {
    const ResumeDecision decision =
        DecideResume(run.offset, static_cast<uint32_t>(run.status), run.rangeFirstByte,
                     run.haveLength ? std::optional<uint64_t>(run.length) : std::nullopt);
    switch (decision.action) {
      case ResumeAction::kRangeMismatch:
        // The bytes on disk go, and the next Resume starts over from zero.
        run.rangeMismatch = true;
        return false;
      case ResumeAction::kStartOver:
        if (const TransferError error = run.file->Empty()) {
          run.fileError = error.code();
          return false;
        }
        run.offset = 0;
        break;
      case ResumeAction::kAppend:
        break;
    }
    std::lock_guard lock(mutex_);
    progress_.bytesTransferred = run.offset;
    progress_.bytesTotal = decision.expectedEnd.value_or(kUnknownSize);
    state_ = TransferJobState::kTransferring;
    changed_.notify_all();
    return true;
  }

  void Transfer() {
    SetState(TransferJobState::kConnecting);
    EnsureCurlGlobalInit();
    std::error_code ec;
    const uint64_t onDisk = fs::exists(partial_, ec) ? fs::file_size(partial_, ec) : 0;
    Run run{this};
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
    run.file = std::make_unique<WatchedFile>(std::move(file), run.offset, std::move(watchers));
    CurlEasy easy(curl_easy_init());
    if (!easy) {
      Fail(TransferJobState::kTransientError, HResultFromWin32(page_result::kNotEnoughMemory),
           "Not enough memory to start the transfer.");
      return;
    }
    const CurlList headers = MakeHeaderList(headers_);
    SetCommonOptions(easy.get(), url_, headers.get());
    std::optional<SystemProxy> proxy;
    {
      std::lock_guard lock(mutex_);
      proxy = proxy_;
    }
    if (proxy) UseProxy(easy.get(), *proxy);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &run);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &run);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &OnTick);
    curl_easy_setopt(easy.get(), CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);
    const std::string range = std::to_string(run.offset) + "-";
    if (run.offset > 0) curl_easy_setopt(easy.get(), CURLOPT_RANGE, range.c_str());

    const CURLcode code = curl_easy_perform(easy.get());
    const TransferError closed = run.file->Close();
    if (stop_.load()) return;  // Cancel or the destructor settles the state
    if (run.fileError == 0) run.fileError = closed.code();

    if (run.webPage) {
      RemovePartial();
      Fail(TransferJobState::kError, HResultFromOwnCode(page_result::kWebPageInsteadOfArchive),
           "The server answered with a web page instead of the file.");
    } else if (run.rangeMismatch) {
      RemovePartial();
      Fail(TransferJobState::kTransientError, HResultFromWin32(page_result::kHttpInvalidResponse),
           DescribeNetworkError(page_result::kHttpInvalidResponse));
    } else if (run.fileError != 0) {
      Fail(TransferJobState::kError, HResultFromWin32(run.fileError),
           DescribeFileError(run.fileError));
    } else if (run.status != 0 && !run.StatusOk()) {
      if (run.status == 416 && run.offset > 0) {
        // The bytes on disk do not fit what the server has now: start over on the next Resume.
        RemovePartial();
      }
      Fail(IsTransientStatus(run.status) || run.status == 416 ? TransferJobState::kTransientError
                                                              : TransferJobState::kError,
           HResultFromHttpStatus(static_cast<uint32_t>(run.status)),
           "The server answered with HTTP status " + std::to_string(run.status) + ".");
    } else if (code != CURLE_OK && ProxyCredentialsWanted(easy.get()) != 0) {
      Fail(TransferJobState::kError, HResultFromHttpStatus(kHttpProxyAuthenticationRequired),
           "The proxy server asks for credentials (HTTP status 407).");
    } else if (code != CURLE_OK) {
      const uint32_t error = WinHttpErrorFromCurl(code);
      Fail(IsNetworkFailure(code) ? TransferJobState::kTransientError : TransferJobState::kError,
           HResultFromWin32(error), DescribeNetworkError(error));
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
  std::optional<SystemProxy> proxy_;  // nullopt: direct
  std::atomic<bool> stop_{false};
  std::thread worker_;
  bool completed_ = false;
  FileWriteWatcher* watcher_ = nullptr;
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
