#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/logger.h"
#include "support/test_environment.h"

// Starts the process-wide Logger in a folder of the test's own (at DEBUG), and resets it after.
class LoggerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Logger::ResetForTesting();
    ScopedEnvironmentVariable dir("VLM_LOG_DIR", logFolder_.path().string());
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }
  void TearDown() override { Logger::ResetForTesting(); }

  // Entries at `level` ("WARN", ...) whose message starts with `prefix`.
  static std::vector<LogEntry> EntriesAt(const std::string& level, const std::string& prefix = "") {
    std::vector<LogEntry> found;
    for (LogEntry& e : Logger::GetRecentEntries(Logger::kRecentCapacity, true)) {
      if (e.level == level && e.message.rfind(prefix, 0) == 0) found.push_back(std::move(e));
    }
    return found;
  }

  TemporaryFolder logFolder_;
  // Elevated (every process is, under Wine) the logger would ignore VLM_LOG_DIR.
  ScopedElevation notElevated_{false};
};
