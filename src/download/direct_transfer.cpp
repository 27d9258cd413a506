#include "download/direct_transfer.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <system_error>

#include "base/page_results.h"
#include "base/utf8_path.h"
#include "download/block_gathering.h"
#include "download/direct_transfer_rules.h"
#include "download/download_file.h"
#include "download/parallel_ranges.h"
#include "download/request_headers.h"
#include "download/resume_decision.h"
#include "download/transfer_figures.h"
#include "download/watched_file.h"
#include "download/web_page_answer.h"
#include "log/logger.h"
#include "net/http_session.h"
#include "net/request_url.h"
#include "net/transfer_error.h"

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr uint32_t kPartialContent = 206;
// Below this, the rest of a file comes over the one connection that asked first: a few
// requests' round trips would cost more than another connection could bring.
constexpr uint64_t kParallelMinBytes = 8 * 1024 * 1024;

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
    std::unique_ptr<HttpSession> session;
    if (const TransferError error =
            OpenHttpSession(EscapeNonAscii(request_.url), SessionOptions(), session)) {
      return Fail(error);
    }
    session_ = session.get();
    const std::atomic<bool>& cancel = *request_.cancel;
    if (const TransferError error = TakeKeptBytes()) return Fail(error);
    for (int32_t attempt = 0;; ++attempt) {
      // After a body that ended early, ask only for the rest.
      offset_ = Written();
      receivedThisAnswer_ = 0;
      webPageCandidate_ = false;
      pendingWholeFile_.reset();
      expectedEnd_.reset();
      const bool askRanges = request_.connections > 1 && !singleConnection_;
      TransferError error =
          session->Get(HttpGetRange{offset_, std::nullopt, validator_, askRanges}, cancel, *this);
      if (parallel_) {
        const bool wasSingle = singleConnection_;
        error = FinishParallel(error, *session);
        // A range that failed for good ends the download, as the one GET's retries would.
        if (error && error.code() != page_result::kCancelled && !cancel.load() &&
            singleConnection_ == wasSingle) {
          return Fail(error);
        }
      }
      // What arrived before a failure or a cancel counts: a retry, or a later transfer of the
      // kept bytes, continues after it. A file that cannot be written ends the transfer,
      // whatever the network did.
      const TransferError written = WriteBlock();
      if (error.code() == page_result::kCancelled || cancel.load()) return Cancelled();
      if (written) error = written;
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
    if (head.status < 200 || head.status >= 300) {
      return TransferError(PageResultOfHttpStatus(head.status));
    }
    const ResumeDecision decision =
        DecideResume(offset_, head.status, head.contentRangeFirstByte, head.contentLength);
    if (decision.action == ResumeAction::kRangeMismatch || IsOtherFile(head)) {
      // Start over from zero on the next request.
      if (const TransferError error = StartOver()) return error;
      return TransferError(page_result::kHttpConnectionError);
    }
    if (decision.action == ResumeAction::kStartOver) {
      if (offset_ > 0 && IsHtmlContentType(head.contentType)) {
        // Judged on its first block: a sign-in page must not cost the bytes on disk.
        pendingWholeFile_ = head;
      } else if (const TransferError error = StartOverWith(head, offset_ > 0)) {
        return error;
      }
    } else if (head.status != kPartialContent) {
      AdoptFile(head);
    } else if (!total_) {
      // A first answer that is already a range (as several connections ask) describes the
      // file as a whole one does.
      validator_ = IfRangeValidator(head);
      total_ = head.contentRangeTotal;
      AnnounceTotal();
    }
    if (request_.maxBytes && decision.expectedEnd && *decision.expectedEnd > *request_.maxBytes) {
      return TransferError(page_result::kFileTooLarge);
    }
    expectedEnd_ = decision.expectedEnd;
    // Judged on the first block, once its bytes are in: the type alone is not enough.
    webPageCandidate_ =
        IsHtmlContentType(head.contentType) && (Written() == 0 || pendingWholeFile_);
    if (!file_) {
      if (const TransferError error = StartFile()) return error;
    }
    // A whole answer from a server that says it serves ranges is split as a range is: its
    // stream ends where the other connections' ranges begin.
    const bool splittable = head.status == kPartialContent ||
                            (offset_ == 0 && head.acceptsByteRanges && head.contentLength);
    if (splittable && request_.connections > 1 && !singleConnection_ && !pendingWholeFile_ &&
        total_ && *total_ - offset_ >= kParallelMinBytes) {
      StartParallel();
    } else if (Received() != Written()) {
      // This answer is appended: kept bytes further on would be in its way.
      if (const TransferError error = DropAheadBytes()) return error;
    }
    return TransferError();
  }

  // The rest comes over several connections, this request's among them.
  void StartParallel() {
    ParallelRanges::Setup setup;
    setup.url = EscapeNonAscii(request_.url);
    setup.session = SessionOptions();
    setup.session.route = session_->route();
    setup.total = *total_;
    setup.validator = validator_;
    setup.connections = request_.connections;
    setup.cancel = request_.cancel;
    setup.clock = &clock_;
    setup.file = file_.get();
    setup.onWritten = [this](uint64_t received) { ReportReceived(received); };
    lastReportedBlock_ = Written() / kFileWriteBlockBytes;
    parallel_ = std::make_unique<ParallelRanges>(std::move(setup), offset_);
  }

  // Called under the ranges' lock: one report per block of bytes received in all, and once a
  // second while they come slower than that.
  void ReportReceived(uint64_t received) {
    const uint64_t block = received / kFileWriteBlockBytes;
    if (block == lastReportedBlock_ && received != contentLength_ &&
        WholeMilliseconds(lastReportTime_, clock_.Now()) < kProgressReportIntervalMs) {
      return;
    }
    lastReportedBlock_ = block;
    Report(TransferFigures{received, contentLength_, continuedFrom_, 0});
  }

  // Once this request's own answer ended: every range in, or what ended them. An answer that
  // was not the range asked for means the server no longer serves ranges of this file: it
  // starts over with one connection.
  TransferError FinishParallel(TransferError ended, HttpSession& session) {
    TransferError error = parallel_->Finish(ended, session);
    parallel_.reset();
    if (error.code() != ParallelRanges::kOtherAnswer) return error;
    singleConnection_ = true;
    if (const TransferError emptied = StartOver()) return emptied;
    return TransferError(page_result::kHttpConnectionError);
  }

  // A whole answer describes the file from here on.
  void AdoptFile(const HttpAnswerHead& head) {
    validator_ = IfRangeValidator(head);
    total_ = head.contentLength;
    AnnounceTotal();
  }

  void AnnounceTotal() {
    if (!total_ || *total_ == 0 || *total_ == contentLength_) return;
    contentLength_ = *total_;
    Report();
    Logger::Log(LogLevel::Debug, kCategory, "Content-Length=" + std::to_string(contentLength_));
  }

  // The server sent the whole file where the rest was asked for.
  TransferError StartOverWith(const HttpAnswerHead& head, bool hadBytes) {
    if (hadBytes) {
      Logger::Log(LogLevel::Info, kCategory,
                  "The server sent the whole file for a range; starting over");
    }
    if (const TransferError error = StartOver()) return error;
    AdoptFile(head);
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
    if (parallel_) return parallel_->Deliver(data, size);
    receivedThisAnswer_ += size;
    if (const TransferError error =
            GatherIntoBlocks(block_, data, size, [this] { return WriteBlock(); })) {
      return error;
    }
    ReportIfASecondPassed();
    return TransferError();
  }

  // Writes the gathered bytes (the file tells the watchers), then tells the progress sink.
  TransferError WriteBlock() {
    if (block_.empty()) return TransferError();
    if (webPageCandidate_) {
      webPageCandidate_ = false;
      if (BeginsAsHtml(block_)) {
        Logger::Log(LogLevel::Error, kCategory,
                    "The answer is a web page, not the archive (Content-Type text/html)");
        block_.clear();
        return TransferError(page_result::kWebPageInsteadOfArchive);
      }
    }
    if (pendingWholeFile_) {
      const HttpAnswerHead head = *pendingWholeFile_;
      pendingWholeFile_.reset();
      if (const TransferError error = StartOverWith(head, true)) return error;
    }
    const TransferError error = file_->Write(block_.data(), block_.size());
    block_.clear();
    if (error) {
      fileFailed_ = true;
      return error;
    }
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

  // Forgets the bytes on disk and what was known of the file; the next body is written from
  // the start of the file.
  TransferError StartOver() {
    if (file_) {
      if (const TransferError error = file_->Empty()) {
        fileFailed_ = true;
        return error;
      }
    }
    lastSampleBytes_ = 0;
    continuedFrom_ = 0;
    offset_ = 0;
    validator_.clear();
    total_.reset();
    return TransferError();
  }

  // A 206 that continues another file than the one on disk: the server's If-Range check was
  // skipped (some servers and caches ignore it), and its validator or total gives it away.
  bool IsOtherFile(const HttpAnswerHead& head) const {
    if (head.status != kPartialContent || offset_ == 0) return false;
    const std::string validator = IfRangeValidator(head);
    const bool otherValidator =
        !validator_.empty() && !validator.empty() && validator != validator_;
    const bool otherTotal = total_ && head.contentRangeTotal && *head.contentRangeTotal != *total_;
    if (otherValidator || otherTotal) {
      Logger::Log(LogLevel::Info, kCategory, "The file changed on the server; starting over");
    }
    return otherValidator || otherTotal;
  }

  // Begins with the bytes a stopped transfer of the same file kept, if any. Only a file that
  // cannot be made fails the transfer; kept bytes that cannot be read back are dropped.
  TransferError TakeKeptBytes() {
    if (request_.kept == nullptr || request_.keptKey.empty()) return TransferError();
    std::error_code ec;
    if (std::filesystem::exists(request_.destination, ec) || ec) return TransferError();
    const std::optional<KeptDownload> kept =
        request_.kept->TakeInto(request_.keptKey, request_.destination);
    if (!kept) return TransferError();
    std::unique_ptr<DownloadFile> opened;
    if (const TransferError error =
            DownloadFile::Open(request_.destination, DownloadFile::Start::kAfterItsEnd, opened)) {
      return error;
    }
    createdFile_ = true;
    file_ = std::make_unique<WatchedFile>(std::move(opened), kept->size, request_.watchers);
    file_->AdoptAhead(kept->ahead);
    if (!TellWatchersOfKeptBytes(kept->size)) {
      Logger::Log(LogLevel::Warn, kCategory, "Kept bytes unreadable; starting over");
      return StartOver();
    }
    // One connection appends: only the start is of use to it.
    if (request_.connections <= 1 || singleConnection_) {
      if (const TransferError error = DropAheadBytes()) return error;
    }
    validator_ = kept->validator;
    total_ = kept->total;
    contentLength_ = kept->total;
    lastSampleBytes_ = kept->size;
    continuedFrom_ = Received();
    Logger::Log(LogLevel::Info, kCategory,
                "Continuing a kept download: " + std::to_string(Received()) + " of " +
                    std::to_string(kept->total) + " bytes on disk");
    Report();
    return TransferError();
  }

  // The watchers (the streamed signature check) must see the whole file: the kept bytes are
  // read back once, in the pieces a transfer writes.
  bool TellWatchersOfKeptBytes(uint64_t size) {
    if (request_.watchers.empty()) return true;
    std::ifstream in(request_.destination, std::ios::binary);
    std::string piece(kFileWriteBlockBytes, '\0');
    for (uint64_t offset = 0; offset < size;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - offset));
      if (!in.read(piece.data(), static_cast<std::streamsize>(want))) return false;
      for (FileWriteWatcher* watcher : request_.watchers)
        watcher->Wrote(offset, piece.data(), want);
      offset += want;
    }
    return true;
  }

  void Report() { Report(Figures()); }

  void Report(TransferFigures figures) {
    lastReportTime_ = clock_.Now();
    figures.from = continuedFrom_;
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
    Report(TransferFigures{received, contentLength_, continuedFrom_, 0});
  }

  // Body bytes in the file from its start without a gap.
  uint64_t Written() const { return file_ ? file_->size() : 0; }
  // Body bytes in the file in all, those fetched ahead of the start included.
  uint64_t Received() const { return file_ ? file_->received() : 0; }

  TransferFigures Figures() const {
    return TransferFigures{Received(), contentLength_, continuedFrom_, 0};
  }

  TransferError DropAheadBytes() {
    if (const TransferError error = file_->DropAhead()) {
      fileFailed_ = true;
      return error;
    }
    return TransferError();
  }

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
    TransferFigures figures = Figures();
    figures.kept = KeepForLater(error);
    if (figures.kept == 0) Discard();
    return TransferResult{HResultFromPageResult(error.code()), {}, figures};
  }

  // Whatever stopped the network side, the bytes on disk are the start of the server's file
  // (every answer was checked against its validator), so a later transfer can go on from them.
  // Not after the file's own failures: the bytes may be short, or the disk full. Returns the
  // bytes kept, 0 when none.
  uint64_t KeepForLater(const TransferError& error) {
    if (request_.kept == nullptr || request_.keptKey.empty() || !file_ || fileFailed_ ||
        error.code() == page_result::kFileTooLarge || validator_.empty() || !total_ ||
        Received() == 0 || Written() >= *total_) {
      return 0;
    }
    const KeptDownload kept{Written(), *total_, validator_, file_->AheadRuns()};
    if (file_->Close()) return 0;
    file_.reset();
    if (!request_.kept->Keep(request_.keptKey, request_.destination, kept)) return 0;
    uint64_t keptBytes = kept.size;
    for (const auto& [first, end] : kept.ahead) keptBytes += end - first;
    Logger::Log(LogLevel::Info, kCategory,
                "Kept " + std::to_string(keptBytes) + " of " + std::to_string(kept.total) +
                    " bytes to continue later");
    return keptBytes;
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

  static HttpSessionOptions SessionOptions() {
    HttpSessionOptions options;
    options.headers = DownloadHeaderLines();
    return options;
  }

  const DirectTransferRequest& request_;
  HttpSession* session_ = nullptr;  // the first connection's, while Run runs
  Clock& clock_;
  const Clock::TimePoint startTime_;
  Clock::TimePoint lastSampleTime_;
  Clock::TimePoint lastReportTime_;
  uint64_t lastSampleBytes_ = 0;
  uint64_t continuedFrom_ = 0;  // the kept bytes this transfer began with
  uint64_t contentLength_ = 0;  // of the first whole answer; 0 when absent
  bool haveFirstByte_ = false;
  Clock::TimePoint firstByteTime_{};
  std::unique_ptr<WatchedFile> file_;
  bool createdFile_ = false;
  bool fileFailed_ = false;  // a write or an emptying failed: the bytes on disk are not known
  std::string validator_;    // of the file on disk, for If-Range; empty when the server gave none
  std::optional<uint64_t> total_;             // the file's whole size, when the server said
  std::unique_ptr<ParallelRanges> parallel_;  // while the rest comes over several connections
  bool singleConnection_ = false;  // the server stopped serving ranges: one GET from here on
  uint64_t lastReportedBlock_ = 0;
  std::string block_;  // received, not yet written (less than kFileWriteBlockBytes)

  // Per request.
  uint64_t offset_ = 0;  // the first byte asked for
  uint64_t receivedThisAnswer_ = 0;
  bool webPageCandidate_ = false;  // a text/html answer whose first block is still to be judged
  // A whole text/html answer to a range: the file starts over once its first block is not a
  // web page.
  std::optional<HttpAnswerHead> pendingWholeFile_;
  std::optional<uint64_t> expectedEnd_;  // the file's size once this body is in, when known
};

}  // namespace

TransferResult RunDirectTransfer(const DirectTransferRequest& request) {
  Logger::Log(LogLevel::Debug, kCategory, "WinHTTP fallback starting");
  return DirectTransfer(request).Run();
}
