#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/file_write_watcher.h"
#include "base/hresult.h"
#include "download/kept_downloads.h"

// The direct transfer: one file fetched with plain HTTP GETs (net/http_session.h), for URLs
// whose signature would not outlive a background job's retries (download/transfer_kind.h).
//
// It promises, the same on every platform:
// - one GET, never a HEAD first, whose path and query are the URL's byte for byte (a signature
//   covers them), characters outside ASCII escaped as net/request_url.h says;
// - the body is gathered into pieces of kFileWriteBlockBytes (all but the last of each answer)
//   and written to `destination` (download/watched_file.h); each piece, once on disk, goes to
//   every watcher and then to the progress sink; while bytes arrive, the sink also hears at
//   least once a second (those still gathered counted in `done`);
// - a body cut short is asked for again from the bytes on disk (Range), and the answer is used
//   as download/resume_decision.h decides; a range mismatch empties the file and counts as a
//   connection error;
// - connection failures are retried by the rule of download/direct_transfer_rules.h, pausing on
//   the request's clock (cut short by the cancel flag);
// - a text/html answer whose body begins as HTML (a sign-in or error page, download/
//   web_page_answer.h) ends the transfer at once with page_result::kWebPageInsteadOfArchive;
// - every request for the rest of the file carries If-Range with the server's validator (a
//   strong ETag, else Last-Modified), and an answer for a changed file (a whole 200, another
//   validator or total) starts the file over;
// - with a store of kept downloads (download/kept_downloads.h), a transfer begins with the
//   bytes kept under its key, which every watcher is told of first (read back once), and asks
//   only for the rest; one that stops before its end for any reason but the file's (a write
//   failure, the size limit) keeps its bytes there when the server named a validator;
// - with `connections` above 1, a server that answers the first request's Range with 206 for
//   a file of at least 8 MiB to come sends the rest over that many connections at once
//   (download/parallel_ranges.h); a 200, a smaller file or an answer that is no longer the
//   range asked for takes one GET;
// - a failed or cancelled transfer removes the file it created, and only that, unless it was
//   kept;
// - the log lines "WinHTTP fallback starting", "Content-Length=N", the throughput samples, the
//   completion figures and "Saved to: <destination>".

// Bytes in the file and the size announced by the first whole answer (0 until one is); the
// bytes kept from an earlier transfer that this one began with (0 when it began empty, or
// started over); and once it stopped short, the bytes kept for a later one (0 when none).
struct TransferFigures {
  uint64_t done = 0;
  uint64_t todo = 0;
  uint64_t from = 0;
  uint64_t kept = 0;
};

struct DirectTransferRequest {
  std::u16string url;
  std::filesystem::path destination;
  // Told of every piece written; each must outlive the transfer.
  std::vector<FileWriteWatcher*> watchers;
  // Ends the transfer at its next wait or read; must outlive the transfer.
  const std::atomic<bool>* cancel = nullptr;
  // Told of the figures once the size is known and after each piece written; may be empty.
  std::function<void(const TransferFigures&)> onProgress;
  // Pauses between retries, and the times of the throughput figures. Must not be null.
  Clock* clock = nullptr;
  // A body announced or found to be larger is not fetched: the transfer fails with
  // ERROR_FILE_TOO_LARGE (223). No limit when nullopt.
  std::optional<uint64_t> maxBytes;
  // Where a stopped transfer's bytes are kept, and a kept start is taken from; null keeps
  // nothing. Must outlive the transfer.
  KeptDownloads* kept = nullptr;
  // The file's key in `kept` (KeptDownloads::KeyFor).
  std::string keptKey;
  // Connections a large file may come over at once (download/parallel_ranges.h), 1 to 16. With
  // more than 1 the first request asks for a range even from the first byte.
  uint32_t connections = 1;
};

struct TransferResult {
  // 0, or a failure whose low 16 bits are the page's result: 1602 cancelled, an HTTP status
  // outside 2xx, a WinHTTP or Win32 error number.
  HResult code = kOk;
  // The page's message for a failure; empty when the code says it all.
  std::string message;
  TransferFigures figures;
};

// Runs on the calling thread until the file is complete, the transfer failed or it was
// cancelled.
TransferResult RunDirectTransfer(const DirectTransferRequest& request);
