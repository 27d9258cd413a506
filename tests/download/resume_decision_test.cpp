#include "download/resume_decision.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr std::optional<uint64_t> kNone = std::nullopt;

// Every answer a resuming GET can get, and what becomes of the bytes already on disk.
TEST(ResumeDecisionTest, EachAnswerToARangeRequest) {
  const struct {
    const char* what;
    uint64_t offset;
    uint32_t status;
    std::optional<uint64_t> rangeFirstByte;
    std::optional<uint64_t> length;
    ResumeAction action;
    std::optional<uint64_t> expectedEnd;
  } cases[] = {
      {"first request, whole body", 0, 200, kNone, 1000, ResumeAction::kAppend, 1000},
      {"first request, no length", 0, 200, kNone, kNone, ResumeAction::kAppend, kNone},
      {"the rest, as asked", 300, 206, 300, 700, ResumeAction::kAppend, 1000},
      {"the rest, no length", 300, 206, 300, kNone, ResumeAction::kAppend, kNone},
      {"Range ignored", 300, 200, kNone, 1000, ResumeAction::kStartOver, 1000},
      {"Range ignored, any 2xx", 300, 203, kNone, kNone, ResumeAction::kStartOver, kNone},
      {"206 for other bytes", 300, 206, 0, 1000, ResumeAction::kRangeMismatch, kNone},
      {"206 past the bytes asked", 300, 206, 600, 400, ResumeAction::kRangeMismatch, kNone},
      {"206 with no readable range", 300, 206, kNone, 700, ResumeAction::kRangeMismatch, kNone},
      {"206 unasked, from 0", 0, 206, 0, 1000, ResumeAction::kAppend, 1000},
      {"206 unasked, no range", 0, 206, kNone, 1000, ResumeAction::kAppend, 1000},
      {"206 unasked, elsewhere", 0, 206, 5, 995, ResumeAction::kRangeMismatch, kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ResumeDecision decision = DecideResume(c.offset, c.status, c.rangeFirstByte, c.length);
    EXPECT_EQ(decision.action, c.action);
    EXPECT_EQ(decision.expectedEnd, c.expectedEnd);
  }
}

}  // namespace
