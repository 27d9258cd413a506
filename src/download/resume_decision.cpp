#include "download/resume_decision.h"

namespace {
constexpr uint32_t kPartialContent = 206;
}  // namespace

ResumeDecision DecideResume(uint64_t offset, uint32_t status,
                            std::optional<uint64_t> contentRangeFirstByte,
                            std::optional<uint64_t> contentLength) {
  if (status == kPartialContent) {
    // Without a readable Content-Range a 206 is taken for the rest only when nothing was on
    // disk: at offset 0 the whole body and "the rest" are the same bytes.
    const bool startsWhereAsked =
        contentRangeFirstByte ? *contentRangeFirstByte == offset : offset == 0;
    if (!startsWhereAsked) return {ResumeAction::kRangeMismatch, std::nullopt};
    if (!contentLength) return {ResumeAction::kAppend, std::nullopt};
    return {ResumeAction::kAppend, offset + *contentLength};
  }
  return {offset > 0 ? ResumeAction::kStartOver : ResumeAction::kAppend, contentLength};
}
