#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// One extracted file being written. Unlike a stream, it reports every failure (a full disk
// shows at write or at close), so an entry is never taken as extracted when it is not.
// It never writes through a link at the final path component (a symbolic link on POSIX, any
// reparse point on Windows), and on Windows only into a file on disk: a device name such as
// "NUL" or "COM1" fails. The file is never inherited by programs the host launches.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes quietly when still open
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates `path`. On POSIX a new file gets `mode` (less the process's umask);
  // Windows has no mode bits, and the file takes the folder's access rules.
  bool Open(const std::filesystem::path& path, uint32_t mode);
  // Writes all `length` bytes or fails.
  bool Write(const void* data, size_t length);
  // False when closing failed. Safe to call when not open (returns true).
  bool Close();

  bool isOpen() const { return file_ != kClosed; }
  // The platform's text for the last failure.
  const std::string& error() const { return error_; }

 private:
  // The platform's handle: a descriptor on POSIX, a HANDLE on Windows (whose invalid value is
  // also -1).
  static constexpr intptr_t kClosed = -1;
  intptr_t file_ = kClosed;
  std::string error_;
};
