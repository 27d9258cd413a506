#pragma once

// Shared by the Logger's tests: reading its files, and a fixture that gives each test a fresh
// Logger, a temporary folder of its own and none of the variables that configure it.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/utf8_path.h"
#include "log/log_file.h"
#include "log/logger.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace logger_test {

inline const std::regex kFileNamePattern(R"(Quillfetch_(\d{8})_(\d{6})\.log)");
inline const std::regex kLinePattern(
    R"(\[(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})\] \[([A-Z]+)\] \[([^\]]*)\] (.*))");

inline std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows stores CR LF
    lines.push_back(line);
  }
  return lines;
}

inline std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Names of regular files and folders directly in `folder`.
inline std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

inline std::vector<fs::path> OwnLogFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && std::regex_match(name, kFileNamePattern)) {
      files.push_back(entry.path());
    }
  }
  return files;
}

// The file name the logger would choose now.
inline std::string FileNameForNow() {
  const std::time_t now = std::time(nullptr);
  const std::tm t = LocalCalendarTime(now);
  char text[64];
  std::strftime(text, sizeof text, "Quillfetch_%Y%m%d_%H%M%S.log", &t);
  return text;
}

// A rotation opens a file named after the current second; waiting for the next second makes
// the new file distinct from the full one.
inline void WaitForNewFileName(const fs::path& current) {
  while (FileNameForNow() == current.filename().string()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() { Logger::ResetForTesting(); }
  ~LoggerTest() override { Logger::ResetForTesting(); }

  // The log folder used unless a test chooses another.
  fs::path Folder() const { return temp_.path() / "logs"; }

  bool Initialize() { return Logger::Initialize(Folder().string(), "Quillfetch"); }

  fs::path CurrentFile() const { return PathFromUtf8(Logger::CurrentLogFilePath()); }

  std::vector<std::string> FlushedLines() {
    Logger::Flush();
    return ReadLines(CurrentFile());
  }

  TemporaryFolder temp_;
  ScopedEnvironmentVariable tmpdir_{kTempDirectoryVariable, temp_.path().string()};
  ScopedElevation notElevated_{false};  // the default folder is then the temporary folder's
  // The default log folder: in the temporary folder on Windows, the runtime folder on Linux.
  ScopedEnvironmentVariable runtimeDir_{"XDG_RUNTIME_DIR", temp_.path().string()};
  ScopedEnvironmentVariable logDir_{"VLM_LOG_DIR", std::nullopt};
  ScopedEnvironmentVariable isDev_{"VLM_IS_DEV", std::nullopt};
  ScopedEnvironmentVariable logLevel_{"VLM_LOG_LEVEL", std::nullopt};
};

}  // namespace logger_test
