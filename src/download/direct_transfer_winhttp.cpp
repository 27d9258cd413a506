#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

#include "base/utf_convert.h"
#include "download/direct_transfer_rules.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "download/http_get_winhttp.h"
#include "download/request_headers.h"
#include "download/transfer_figures.h"
#include "log/logger.h"

using std::chrono::milliseconds;

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr char16_t kAgent[] = u"Velmorante-Downloader/1.0";

// Failures of the connection rather than of the answer: once body bytes have come, any of them
// means the body was cut short.
bool IsNetworkFailure(uint32_t error) {
  return error == winhttp::kTimeout || error == winhttp::kCannotConnect ||
         error == winhttp::kConnectionError || error == winhttp::kResendRequest;
}

// One call's state across its requests.
class DirectTransfer {
 public:
  DirectTransfer(DownloadEngine& engine, Clock& clock)
      : engine_(engine), clock_(clock), startTime_(clock.Now()), lastSampleTime_(startTime_) {}

  ~DirectTransfer() { CloseFile(); }

  // One request, from the bytes already in the file to the end of the body. 0 when the whole
  // body is in the file; otherwise the error that ended the request (a WinHTTP or file error,
  // an HTTP status outside 2xx, or kGetCancelled).
  uint32_t Exchange(const HttpConnection& connection, const HttpUrl& url) {
    const uint64_t offset = file_ != INVALID_HANDLE_VALUE ? total_ : 0;
    std::string headers = DownloadHeaderBlock();
    if (offset > 0) headers += "Range: bytes=" + std::to_string(offset) + "-\r\n";

    HttpGet get(engine_.cancelRequested);
    if (const uint32_t error = get.Open(connection, url, Utf8ToUtf16(headers))) return error;
    if (const uint32_t error = get.Send()) return error;
    if (const uint32_t error = get.ReceiveResponse()) return error;
    uint32_t status = 0;
    if (const uint32_t error = get.StatusCode(status)) return error;
    // An error page is no archive: the status fails the call (it is never retried). So does a
    // redirect WinHTTP would not follow, from https to http.
    if (status < 200 || status >= 300) return status;

    const std::optional<uint64_t> length = get.ContentLength();
    if (status == 206) {
      const std::optional<uint64_t> first = get.ContentRangeFirstByte();
      if (first ? *first != offset : offset > 0) {
        // Not the rest of the file: appending it would corrupt the archive. Start over from
        // zero on the next request.
        if (file_ != INVALID_HANDLE_VALUE) {
          if (const uint32_t error = Truncate()) return error;
        }
        return winhttp::kConnectionError;
      }
    }
    if (offset > 0 && status != 206) {
      // The server ignored the Range request and sends the whole body again.
      if (const uint32_t error = Truncate()) return error;
    }
    const uint64_t start = status == 206 ? total_ : 0;
    if (length && *length != 0 && contentLength_ == 0 && status != 206) {
      contentLength_ = *length;
      engine_.todo = *length;
      if (engine_.onProgress) engine_.onProgress(engine_);
      Logger::Log(LogLevel::Debug, kCategory, "Content-Length=" + std::to_string(*length));
    }
    if (file_ == INVALID_HANDLE_VALUE) {
      // Others may read the archive meanwhile; nobody else may write it.
      file_ = CreateFileW(engine_.destPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ == INVALID_HANDLE_VALUE) return GetLastError();
      createdFile_ = true;
    }

    uint64_t bodyThisRequest = 0;
    const uint32_t bodyError = ReceiveBody(get, bodyThisRequest);
    // What arrived before a failure counts: a retry continues after it.
    const uint32_t writeError = WriteBlock();
    if (bodyError != 0) return bodyError;
    if (writeError != 0) return writeError;
    // WinHTTP may end a body that was cut short without an error: the length tells.
    if (length && total_ != start + *length) return winhttp::kConnectionError;
    return 0;
  }

  // Closes the file, reporting a failure to write what was buffered.
  uint32_t Finish() {
    const bool closed = file_ == INVALID_HANDLE_VALUE || CloseHandle(file_);
    const uint32_t error = closed ? 0 : GetLastError();
    file_ = INVALID_HANDLE_VALUE;
    return error;
  }

  // Closes and removes what a failed call wrote, so no partial archive remains; whatever was
  // in the way of the file (a folder, say) is not ours to remove.
  void Discard() {
    CloseFile();
    std::error_code ignored;
    if (createdFile_) std::filesystem::remove(engine_.destPath, ignored);
  }

  void LogFigures() const {
    const int64_t durationMs = WholeMilliseconds(startTime_, clock_.Now());
    const int64_t ttfbMs = haveFirstByte_ ? WholeMilliseconds(startTime_, firstByteTime_) : -1;
    const double mbps = durationMs > 0 ? static_cast<double>(total_) * 8.0 / 1000000.0 /
                                             (static_cast<double>(durationMs) / 1000.0)
                                       : 0.0;
    Logger::Log(LogLevel::Info, kCategory,
                "WinHTTP completed bytes=" + std::to_string(total_) + ", headerBytes=" +
                    std::to_string(contentLength_) + ", ttfbMs=" + std::to_string(ttfbMs) +
                    ", durationMs=" + std::to_string(durationMs) +
                    ", throughputMbps=" + FormatDouble(mbps));
  }

 private:
  // Reads the body into the file until its end or a failure; 0 at the end.
  uint32_t ReceiveBody(HttpGet& get, uint64_t& received) {
    for (;;) {
      uint32_t available = 0;
      if (const uint32_t error = get.QueryDataAvailable(available)) {
        return received > 0 && IsNetworkFailure(error) ? winhttp::kConnectionError : error;
      }
      if (available == 0) return 0;
      while (available > 0) {
        uint32_t got = 0;
        if (const uint32_t error = get.Read(available, got)) {
          return received > 0 && IsNetworkFailure(error) ? winhttp::kConnectionError : error;
        }
        if (got == 0) break;  // ask again how much there is
        if (const uint32_t error = Gather(get.data(), got)) return error;
        received += got;
        available = got >= available ? 0 : available - got;
      }
    }
  }

  // Reads may be far smaller than kGetBlockSize (Wine's are a few KiB); the page gets one
  // progress callback per block written, so received bytes are gathered into whole blocks.
  uint32_t Gather(const char* data, uint32_t size) {
    if (!haveFirstByte_) {
      haveFirstByte_ = true;
      firstByteTime_ = clock_.Now();
    }
    if (block_.capacity() < kGetBlockSize) block_.reserve(kGetBlockSize);
    while (size > 0) {
      const uint32_t take =
          std::min<uint32_t>(size, static_cast<uint32_t>(kGetBlockSize - block_.size()));
      block_.append(data, take);
      data += take;
      size -= take;
      if (block_.size() == kGetBlockSize) {
        if (const uint32_t error = WriteBlock()) return error;
      }
    }
    return 0;
  }

  // Writes and reports the gathered bytes.
  uint32_t WriteBlock() {
    const auto size = static_cast<DWORD>(block_.size());
    if (size == 0) return 0;
    DWORD written = 0;
    const bool ok = WriteFile(file_, block_.data(), size, &written, nullptr);
    if (ok && written == size && engine_.arrivingArchiveCheck) {
      engine_.arrivingArchiveCheck->Wrote(total_, block_.data(), size);
    }
    block_.clear();
    if (!ok) return GetLastError();
    if (written != size) return win32::kWriteFault;
    engine_.done += size;
    total_ += size;
    if (engine_.onProgress) engine_.onProgress(engine_);
    const Clock::TimePoint now = clock_.Now();
    const int64_t elapsed = WholeMilliseconds(lastSampleTime_, now);
    if (elapsed >= kThroughputSampleIntervalMs) {
      const double mbps = static_cast<double>(total_ - lastSampleBytes_) * 8.0 / 1000000.0 /
                          (static_cast<double>(elapsed) / 1000.0);
      Logger::Log(
          LogLevel::Info, kCategory,
          "WinHTTP InstMbps=" + FormatDouble(mbps) + ", transferred=" + std::to_string(total_));
      lastSampleBytes_ = total_;
      lastSampleTime_ = now;
    }
    return 0;
  }

  uint32_t Truncate() {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file_, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
      return GetLastError();
    }
    total_ = 0;
    lastSampleBytes_ = 0;
    engine_.done = 0;
    return 0;
  }

  void CloseFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

  DownloadEngine& engine_;
  Clock& clock_;
  const Clock::TimePoint startTime_;
  Clock::TimePoint lastSampleTime_;
  uint64_t lastSampleBytes_ = 0;
  uint64_t contentLength_ = 0;  // of the first full answer; 0 when absent
  uint64_t total_ = 0;          // body bytes in the file
  bool haveFirstByte_ = false;
  Clock::TimePoint firstByteTime_{};
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool createdFile_ = false;
  std::string block_;  // received, not yet written (less than kGetBlockSize)
};

}  // namespace

HResult DownloadEngine::WinHttpDownload() {
  Logger::Log(LogLevel::Debug, kCategory, "WinHTTP fallback starting");
  DirectTransfer transfer(*this, clock_);

  HttpUrl target;
  if (const uint32_t error = CrackHttpUrl(url, target)) return HResultFromWin32(error);
  HttpConnection connection;
  if (const uint32_t error = connection.Open(kAgent, target)) return HResultFromWin32(error);

  const HResult cancelled = HResultFromWin32(download_result::kCancelled);
  for (int32_t attempt = 0;; ++attempt) {
    const uint32_t error = transfer.Exchange(connection, target);
    if (error == 0) break;
    if (error == kGetCancelled || cancelRequested.load()) {
      transfer.Discard();
      return cancelled;
    }
    if (attempt >= kDirectMaxRetries || !IsRetryableDirectError(error)) {
      transfer.Discard();
      return HResultFromWin32(error);
    }
    if (!clock_.WaitFor(DirectRetryPause(attempt), &cancelRequested) && cancelRequested.load()) {
      transfer.Discard();
      return cancelled;
    }
  }

  // Every successful exchange opened the file, an empty body included.
  if (const uint32_t error = transfer.Finish()) {
    transfer.Discard();
    return HResultFromWin32(error);
  }
  result = 0;
  transfer.LogFigures();
  const std::u8string saved = destPath.u8string();
  Logger::Log(LogLevel::Info, kCategory, "Saved to: " + std::string(saved.begin(), saved.end()));
  return kOk;
}
