#pragma once

#include <ctime>
#include <string>
#include <string_view>

// The Logger's file: opened for appending and never inherited by programs the host launches
// (close-on-exec), so a setup that runs for minutes cannot hold the log open. Text collects in
// memory until Flush; a write that fails is dropped without a word, as the Logger promises
// never to fail towards its callers. Not thread-safe: the Logger's lock guards it.
class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Closes any open file, then opens `path` (created when missing). False when it cannot.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void Append(std::string_view text) {
    if (fd_ >= 0) buffer_ += text;
  }
  void Flush();
  // Flushes, then closes. Harmless when nothing is open.
  void Close();

 private:
  int fd_ = -1;
  std::string buffer_;
};

// The local calendar time of `seconds` since 1970; callable from any thread.
std::tm LocalCalendarTime(std::time_t seconds);
