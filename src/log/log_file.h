#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// The Logger's file: opened for appending and never inherited by programs the host launches
// (close-on-exec; a handle that is not inheritable on Windows), so a setup that runs for minutes
// cannot hold the log open. On Windows each newline is stored as CR LF, as text files are there.
// Text collects in memory until Flush; a write that fails is dropped without a word, as the Logger
// promises never to fail towards its callers. Not thread-safe: the Logger's lock guards it.
class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Closes any open file, then opens `path` (UTF-8; created when missing). An existing file is
  // appended to only when it is a plain file with no other name (no link, reparse point or
  // second hard link planted under the name the next file will have). False when it cannot.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != kClosed; }
  void Append(std::string_view text) {
    if (file_ != kClosed) buffer_ += text;
  }
  void Flush();
  // Flushes, then closes. Harmless when nothing is open.
  void Close();

 private:
  // The platform's handle: a descriptor on POSIX, a HANDLE on Windows (whose invalid value is
  // also -1).
  static constexpr intptr_t kClosed = -1;
  intptr_t file_ = kClosed;
  std::string buffer_;
};

// The local calendar time of `seconds` since 1970; callable from any thread.
std::tm LocalCalendarTime(std::time_t seconds);
