#pragma once

#include <cstdint>
#include <optional>

// What to do with a 2xx answer to a GET that asked for the bytes from `offset` on ("Range:
// bytes=offset-", or no Range header when `offset` is 0), `offset` bytes of the file being on
// disk already. Both the direct transfer and the background job on libcurl decide through
// this, so that a resumed archive is never a splice of two different bodies.
enum class ResumeAction {
  // The body continues the file: its first byte goes at `offset`.
  kAppend,
  // The server ignored the Range header and sends the whole body: empty the file first.
  kStartOver,
  // A 206 for other bytes than those asked for (or a range where none was asked): appending
  // it would corrupt the archive, and a size check alone could not tell. Drop this answer and
  // the bytes on disk; the next request asks for the whole file.
  kRangeMismatch,
};

struct ResumeDecision {
  ResumeAction action = ResumeAction::kAppend;
  // The file's size once this body is all in, when Content-Length says; nullopt when it does
  // not, or for kRangeMismatch.
  std::optional<uint64_t> expectedEnd;
};

// `status` must be 2xx; `contentRangeFirstByte` is that of the Content-Range header
// (net/content_range.h), nullopt when it is absent or unreadable.
ResumeDecision DecideResume(uint64_t offset, uint32_t status,
                            std::optional<uint64_t> contentRangeFirstByte,
                            std::optional<uint64_t> contentLength);
