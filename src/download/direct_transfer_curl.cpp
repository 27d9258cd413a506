#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "base/utf_convert.h"
#include "download/content_range.h"
#include "download/curl_support_curl.h"
#include "download/direct_transfer_rules.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "download/file_errors.h"
#include "download/request_headers.h"
#include "download/transfer_figures.h"
#include "log/logger.h"

using std::chrono::milliseconds;

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr long kOverallTimeoutMs = 86400000L;
// libcurl hands over what each read returned (about 16 KiB on loopback); the page gets one
// progress callback per block written, so received bytes are gathered into blocks of this size
// first: 16 times fewer scripts for the page, and fewer writes.
constexpr size_t kBlockBytes = 256 * 1024;

// One call's state, shared with libcurl's callbacks.
struct DirectTransfer {
  DownloadEngine& engine;
  Clock& clock;
  Clock::TimePoint startTime;
  Clock::TimePoint lastSampleTime;
  uint64_t lastSampleBytes = 0;
  uint64_t contentLength = 0;  // of the first answer; 0 when absent
  uint64_t total = 0;          // body bytes in the file
  bool haveFirstByte = false;
  Clock::TimePoint firstByteTime{};
  FILE* file = nullptr;
  uint32_t fileError = 0;             // Win32 error of a failed create or write
  std::string block = std::string();  // received, not yet written (less than kBlockBytes)

  // Per send.
  uint64_t resumeOffset = 0;
  long status = 0;
  bool haveLength = false;
  uint64_t length = 0;
  std::optional<uint64_t> rangeFirstByte = std::nullopt;  // of a Content-Range header
  bool rangeMismatch = false;  // a 206 answer for other bytes than those asked for
  uint64_t bodyThisSend = 0;

  bool StatusOk() const { return status >= 200 && status < 300; }
  uint64_t ExpectedEnd() const { return (status == 206 ? resumeOffset : 0) + length; }

  // Headers of the final answer are in: decide where its body goes.
  bool OnHeadersEnd() {
    if (!StatusOk()) return true;  // its body is read and dropped; the status fails the call
    if (status == 206 && (rangeFirstByte ? *rangeFirstByte != resumeOffset : resumeOffset > 0)) {
      // Not the rest of the file: appending it would corrupt the archive. Start over from zero
      // on the next send.
      StartOver();
      rangeMismatch = true;
      return false;
    }
    if (status != 206 && resumeOffset > 0) {
      // The server ignored the Range request and sends the whole body again.
      StartOver();
    }
    if (file == nullptr) {
      file = OpenArchiveFile(engine.destPath, false);
      if (file == nullptr) {
        fileError = Win32ErrorFromFileErrno(errno);
        return false;
      }
    }
    if (haveLength && length != 0 && contentLength == 0 && status != 206) {
      contentLength = length;
      engine.todo = length;
      if (engine.onProgress) engine.onProgress(engine);
      Logger::Log(LogLevel::Debug, kCategory, "Content-Length=" + std::to_string(length));
    }
    return true;
  }

  bool OnBlock(const char* data, size_t size) {
    if (!StatusOk() || size == 0) return true;
    if (!haveFirstByte) {
      haveFirstByte = true;
      firstByteTime = clock.Now();
    }
    if (block.capacity() < kBlockBytes) block.reserve(kBlockBytes);
    while (size > 0) {
      const size_t take = std::min(size, kBlockBytes - block.size());
      block.append(data, take);
      data += take;
      size -= take;
      if (block.size() == kBlockBytes && !WriteBlock()) return false;
    }
    return true;
  }

  // Writes and reports the gathered bytes; called when a block is full and after each send.
  bool WriteBlock() {
    const size_t size = block.size();
    if (size == 0) return true;
    const bool written = std::fwrite(block.data(), 1, size, file) == size;
    if (written && engine.arrivingArchiveCheck) {
      engine.arrivingArchiveCheck->Wrote(total, block.data(), size);
    }
    block.clear();
    if (!written) {
      fileError = Win32ErrorFromFileErrno(errno);
      return false;
    }
    engine.done += size;
    total += size;
    bodyThisSend += size;
    if (engine.onProgress) engine.onProgress(engine);
    const Clock::TimePoint now = clock.Now();
    const int64_t elapsed = WholeMilliseconds(lastSampleTime, now);
    if (elapsed >= kThroughputSampleIntervalMs) {
      const double mbps = static_cast<double>(total - lastSampleBytes) * 8.0 / 1000000.0 /
                          (static_cast<double>(elapsed) / 1000.0);
      Logger::Log(
          LogLevel::Info, kCategory,
          "WinHTTP InstMbps=" + FormatDouble(mbps) + ", transferred=" + std::to_string(total));
      lastSampleBytes = total;
      lastSampleTime = now;
    }
    return true;
  }

  // Forgets the bytes on disk; the next answer's body is written from the start of the file.
  void StartOver() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    total = 0;
    lastSampleBytes = 0;
    engine.done = 0;
    resumeOffset = 0;
  }

  // Closes and removes what a failed call wrote, so no partial archive or error page remains.
  void Discard() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    std::error_code ignored;
    std::filesystem::remove(engine.destPath, ignored);
  }
};

size_t OnHeader(char* line, size_t size, size_t count, void* context) {
  auto* t = static_cast<DirectTransfer*>(context);
  const size_t length = size * count;
  long status = 0;
  uint64_t contentLength = 0;
  if (ParseStatusLine(line, length, status)) {
    t->status = status;
    t->haveLength = false;
    t->length = 0;
    t->rangeFirstByte.reset();
  } else if (ParseContentLength(line, length, contentLength)) {
    t->haveLength = true;
    t->length = contentLength;
  } else if (const auto range = HeaderValue(line, length, "content-range")) {
    t->rangeFirstByte = ContentRangeFirstByte(*range);
  } else if ((length == 2 && line[0] == '\r') || (length == 1 && line[0] == '\n')) {
    if (t->status >= 200 && !t->OnHeadersEnd()) return 0;
  }
  return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
  auto* t = static_cast<DirectTransfer*>(context);
  return t->OnBlock(data, size * count) ? size * count : 0;
}

int OnTick(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<DownloadEngine*>(context)->cancelRequested.load() ? 1 : 0;
}

}  // namespace

HResult DownloadEngine::WinHttpDownload() {
  Logger::Log(LogLevel::Debug, kCategory, "WinHTTP fallback starting");
  DirectTransfer t{*this, clock_, clock_.Now(), {}};
  t.lastSampleTime = t.startTime;

  const std::string target = Utf16ToUtf8(url);
  if (const uint32_t urlError = CheckCurlDownloadUrl(target)) return HResultFromWin32(urlError);
  EnsureCurlGlobalInit();
  CurlEasy easy(curl_easy_init());
  if (!easy) return HResultFromWin32(win32::kNotEnoughMemory);
  const CurlList headers = MakeHeaderList(DownloadHeaderLines());
  SetCommonOptions(easy.get(), target, headers.get());
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, kOverallTimeoutMs);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &t);
  // A cancel from the page (or a closing window) ends even a stalled transfer.
  curl_easy_setopt(easy.get(), CURLOPT_XFERINFOFUNCTION, &OnTick);
  curl_easy_setopt(easy.get(), CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy.get(), CURLOPT_NOPROGRESS, 0L);

  const HResult cancelled = HResultFromWin32(download_result::kCancelled);
  for (int32_t attempt = 0;; ++attempt) {
    // After a body that ended early, ask only for the rest.
    t.resumeOffset = t.file != nullptr ? t.total : 0;
    const std::string range = std::to_string(t.resumeOffset) + "-";
    curl_easy_setopt(easy.get(), CURLOPT_RANGE, t.resumeOffset > 0 ? range.c_str() : nullptr);
    t.status = 0;
    t.haveLength = false;
    t.length = 0;
    t.bodyThisSend = 0;
    t.rangeMismatch = false;

    const CURLcode code = curl_easy_perform(easy.get());
    if (cancelRequested.load()) {
      t.Discard();
      return cancelled;
    }
    if (t.fileError == 0) t.WriteBlock();
    if (t.fileError != 0) {
      t.Discard();
      return HResultFromWin32(t.fileError);
    }
    if (t.status != 0 && !t.StatusOk()) {
      t.Discard();
      return HResultFromWin32(static_cast<uint32_t>(t.status));
    }
    if (code == CURLE_OK && (!t.haveLength || t.total == t.ExpectedEnd())) break;

    uint32_t error = code == CURLE_OK ? winhttp::kConnectionError : WinHttpErrorFromCurl(code);
    if (t.bodyThisSend > 0 && IsNetworkFailure(code)) error = winhttp::kConnectionError;
    // Sent again from zero, as a body cut short would be resumed.
    if (t.rangeMismatch) error = winhttp::kConnectionError;
    if (attempt >= kDirectMaxRetries || !IsRetryableDirectError(error)) {
      t.Discard();
      return HResultFromWin32(error);
    }
    if (!clock_.WaitFor(DirectRetryPause(attempt), &cancelRequested) && cancelRequested.load()) {
      t.Discard();
      return cancelled;
    }
  }

  if (t.file == nullptr) {
    // A 2xx answer always opens the file; this is only reached for a body-less exchange.
    t.file = OpenArchiveFile(destPath, false);
    if (t.file == nullptr) return HResultFromWin32(Win32ErrorFromFileErrno(errno));
  }
  int closeErrno = 0;
  if (std::fflush(t.file) != 0) closeErrno = errno;
  if (std::fclose(t.file) != 0 && closeErrno == 0) closeErrno = errno;
  t.file = nullptr;
  if (closeErrno != 0) {
    t.Discard();
    return HResultFromWin32(Win32ErrorFromFileErrno(closeErrno));
  }
  result = 0;

  const Clock::TimePoint end = clock_.Now();
  const int64_t durationMs = WholeMilliseconds(t.startTime, end);
  const int64_t ttfbMs = t.haveFirstByte ? WholeMilliseconds(t.startTime, t.firstByteTime) : -1;
  const double mbps = durationMs > 0 ? static_cast<double>(t.total) * 8.0 / 1000000.0 /
                                           (static_cast<double>(durationMs) / 1000.0)
                                     : 0.0;
  Logger::Log(LogLevel::Info, kCategory,
              "WinHTTP completed bytes=" + std::to_string(t.total) + ", headerBytes=" +
                  std::to_string(t.contentLength) + ", ttfbMs=" + std::to_string(ttfbMs) +
                  ", durationMs=" + std::to_string(durationMs) +
                  ", throughputMbps=" + FormatDouble(mbps));
  Logger::Log(LogLevel::Info, kCategory, "Saved to: " + destPath.string());
  return kOk;
}
