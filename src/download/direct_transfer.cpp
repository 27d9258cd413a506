#include "download/direct_transfer.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "base/page_results.h"
#include "base/utf8_path.h"
#include "download/direct_transfer_rules.h"
#include "download/download_file.h"
#include "download/download_url.h"
#include "download/http_get.h"
#include "download/resume_decision.h"
#include "download/transfer_error.h"
#include "download/transfer_figures.h"
#include "download/watched_file.h"
#include "download/web_page_answer.h"
#include "log/logger.h"

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr uint32_t kPartialContent = 206;

// One call's state across its requests; the receiver of every answer.
class DirectTransfer final : public HttpAnswerReceiver {
 public:
  explicit DirectTransfer(const DirectTransferRequest& request)
      : request_(request),
        clock_(*request.clock),
        startTime_(clock_.Now()),
        lastSampleTime_(startTime_),
        lastReportTime_(startTime_) {}

  TransferResult Run() {
    std::unique_ptr<HttpGetSession> session;
    if (const TransferError error = OpenHttpGetSession(EscapeNonAscii(request_.url), session))
      return Fail(error);
    const std::atomic<bool>& cancel = *request_.cancel;
    for (int32_t attempt = 0;; ++attempt) {
      // After a body that ended early, ask only for the rest.
      offset_ = Written();
      receivedThisAnswer_ = 0;
      webPageCandidate_ = false;
      expectedEnd_.reset();
      TransferError error = session->Get(offset_, cancel, *this);
      if (error.code() == page_result::kCancelled || cancel.load()) return Cancelled();
      // What arrived before a failure counts: a retry continues after it. A file that cannot
      // be written ends the transfer, whatever the network did.
      if (const TransferError written = WriteBlock()) error = written;
      if (!error && (!expectedEnd_ || Written() == *expectedEnd_)) break;
      // WinHTTP may end a body that was cut short without an error: the length tells.
      if (!error) error = TransferError(page_result::kHttpConnectionError);
      // Once body bytes came, losing the connection means the body was cut short.
      if (receivedThisAnswer_ > 0 && IsConnectionFailure(error.code())) {
        error = TransferError(page_result::kHttpConnectionError);
      }
      if (attempt >= kDirectMaxRetries || !IsRetryableDirectError(error.code())) {
        return Fail(error);
      }
      if (!clock_.WaitFor(DirectRetryPause(attempt), &cancel) && cancel.load()) {
        return Cancelled();
      }
    }

    // Every answer used opened the file, an empty body included; a client that reports
    // success without any answer still leaves the empty file a body-less exchange would.
    if (!file_) {
      if (const TransferError error = StartFile()) return Fail(error);
    }
    if (const TransferError error = file_->Close()) return Fail(error);
    LogFigures();
    Logger::Log(LogLevel::Info, kCategory, "Saved to: " + PathToUtf8(request_.destination));
    return TransferResult{kOk, {}, Figures()};
  }

 private:
  TransferError OnHead(const HttpAnswerHead& head) override {
    // An error page is no archive: the status fails the call (it is never retried). So does a
    // redirect that was not followed, from https to http.
    if (head.status < 200 || head.status >= 300) return TransferError(head.status);
    const ResumeDecision decision =
        DecideResume(offset_, head.status, head.contentRangeFirstByte, head.contentLength);
    if (decision.action == ResumeAction::kRangeMismatch) {
      // Start over from zero on the next request.
      if (const TransferError error = StartOver()) return error;
      return TransferError(page_result::kHttpConnectionError);
    }
    if (decision.action == ResumeAction::kStartOver) {
      if (const TransferError error = StartOver()) return error;
    }
    if (request_.maxBytes && decision.expectedEnd && *decision.expectedEnd > *request_.maxBytes) {
      return TransferError(page_result::kFileTooLarge);
    }
    expectedEnd_ = decision.expectedEnd;
    // Judged on the first block, once its bytes are in: the type alone is not enough.
    webPageCandidate_ = IsHtmlContentType(head.contentType) && Written() == 0;
    if (!file_) {
      if (const TransferError error = StartFile()) return error;
    }
    if (head.contentLength && *head.contentLength != 0 && contentLength_ == 0 &&
        head.status != kPartialContent) {
      contentLength_ = *head.contentLength;
      Report();
      Logger::Log(LogLevel::Debug, kCategory, "Content-Length=" + std::to_string(contentLength_));
    }
    return TransferError();
  }

  // Reads are often far smaller than a block (libcurl's about 16 KiB on loopback, Wine's
  // WinHTTP's a few KiB); the page gets one progress report per block written, so received
  // bytes are gathered into whole blocks first.
  TransferError OnBody(const char* data, size_t size) override {
    if (size == 0) return TransferError();
    if (!haveFirstByte_) {
      haveFirstByte_ = true;
      firstByteTime_ = clock_.Now();
    }
    receivedThisAnswer_ += size;
    if (block_.capacity() < kFileWriteBlockBytes) block_.reserve(kFileWriteBlockBytes);
    while (size > 0) {
      const size_t take = std::min(size, kFileWriteBlockBytes - block_.size());
      block_.append(data, take);
      data += take;
      size -= take;
      if (block_.size() == kFileWriteBlockBytes) {
        if (const TransferError error = WriteBlock()) return error;
      }
    }
    ReportIfASecondPassed();
    return TransferError();
  }

  // Writes the gathered bytes (the file tells the watchers), then tells the progress sink.
  TransferError WriteBlock() {
    if (block_.empty()) return TransferError();
    if (webPageCandidate_ && Written() == 0 && BeginsAsHtml(block_)) {
      Logger::Log(LogLevel::Error, kCategory,
                  "The answer is a web page, not the archive (Content-Type text/html)");
      block_.clear();
      return TransferError(page_result::kWebPageInsteadOfArchive);
    }
    const TransferError error = file_->Write(block_.data(), block_.size());
    block_.clear();
    if (error) return error;
    Report();
    LogThroughputSample();
    if (request_.maxBytes && Written() > *request_.maxBytes) {
      return TransferError(page_result::kFileTooLarge);
    }
    return TransferError();
  }

  void LogThroughputSample() {
    const Clock::TimePoint now = clock_.Now();
    const int64_t elapsed = WholeMilliseconds(lastSampleTime_, now);
    if (elapsed < kThroughputSampleIntervalMs) return;
    const uint64_t written = Written();
    const double mbps = static_cast<double>(written - lastSampleBytes_) * 8.0 / 1000000.0 /
                        (static_cast<double>(elapsed) / 1000.0);
    Logger::Log(
        LogLevel::Info, kCategory,
        "WinHTTP InstMbps=" + FormatDouble(mbps) + ", transferred=" + std::to_string(written));
    lastSampleBytes_ = written;
    lastSampleTime_ = now;
  }

  // Forgets the bytes on disk; the next body is written from the start of the file.
  TransferError StartOver() {
    if (file_) {
      if (const TransferError error = file_->Empty()) return error;
    }
    lastSampleBytes_ = 0;
    offset_ = 0;
    return TransferError();
  }

  void Report() { Report(Figures()); }

  void Report(const TransferFigures& figures) {
    lastReportTime_ = clock_.Now();
    if (request_.onProgress) request_.onProgress(figures);
  }

  // A slow body also reports once a second while bytes arrive, counting those still gathered
  // for the next block: at a few KB/s a block takes longer than the page waits before it calls
  // the download stalled.
  void ReportIfASecondPassed() {
    const uint64_t received = Written() + block_.size();
    if (received == Written() ||
        WholeMilliseconds(lastReportTime_, clock_.Now()) < kProgressReportIntervalMs) {
      return;
    }
    Report(TransferFigures{received, contentLength_});
  }

  // Body bytes in the file.
  uint64_t Written() const { return file_ ? file_->size() : 0; }

  TransferFigures Figures() const { return TransferFigures{Written(), contentLength_}; }

  TransferError StartFile() {
    std::unique_ptr<DownloadFile> created;
    if (const TransferError error =
            DownloadFile::Open(request_.destination, DownloadFile::Start::kEmpty, created)) {
      return error;
    }
    createdFile_ = true;
    file_ = std::make_unique<WatchedFile>(std::move(created), 0, request_.watchers);
    return TransferError();
  }

  // The figures stay those of the bytes that were written, as the page last saw them.
  TransferResult Fail(TransferError error) {
    const TransferFigures figures = Figures();
    Discard();
    return TransferResult{HResultFromWin32(error.code()), {}, figures};
  }

  TransferResult Cancelled() { return Fail(TransferError(page_result::kCancelled)); }

  // Closes and removes what a failed call wrote, so no partial archive or error page remains;
  // whatever was in the way of the file (a folder, say) is not ours to remove.
  void Discard() {
    file_.reset();
    std::error_code ignored;
    if (createdFile_) std::filesystem::remove(request_.destination, ignored);
  }

  void LogFigures() const {
    const int64_t durationMs = WholeMilliseconds(startTime_, clock_.Now());
    const int64_t ttfbMs = haveFirstByte_ ? WholeMilliseconds(startTime_, firstByteTime_) : -1;
    const uint64_t written = Written();
    const double mbps = durationMs > 0 ? static_cast<double>(written) * 8.0 / 1000000.0 /
                                             (static_cast<double>(durationMs) / 1000.0)
                                       : 0.0;
    Logger::Log(LogLevel::Info, kCategory,
                "WinHTTP completed bytes=" + std::to_string(written) + ", headerBytes=" +
                    std::to_string(contentLength_) + ", ttfbMs=" + std::to_string(ttfbMs) +
                    ", durationMs=" + std::to_string(durationMs) +
                    ", throughputMbps=" + FormatDouble(mbps));
  }

  const DirectTransferRequest& request_;
  Clock& clock_;
  const Clock::TimePoint startTime_;
  Clock::TimePoint lastSampleTime_;
  Clock::TimePoint lastReportTime_;
  uint64_t lastSampleBytes_ = 0;
  uint64_t contentLength_ = 0;  // of the first whole answer; 0 when absent
  bool haveFirstByte_ = false;
  Clock::TimePoint firstByteTime_{};
  std::unique_ptr<WatchedFile> file_;
  bool createdFile_ = false;
  std::string block_;  // received, not yet written (less than kFileWriteBlockBytes)

  // Per request.
  uint64_t offset_ = 0;  // the first byte asked for
  uint64_t receivedThisAnswer_ = 0;
  bool webPageCandidate_ = false;  // a text/html answer whose first block is still to be judged
  std::optional<uint64_t> expectedEnd_;  // the file's size once this body is in, when known
};

}  // namespace

TransferResult RunDirectTransfer(const DirectTransferRequest& request) {
  Logger::Log(LogLevel::Debug, kCategory, "WinHTTP fallback starting");
  return DirectTransfer(request).Run();
}
