#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// One extracted file being written. Unlike a stream, it reports every failure (a full disk
// shows at write or at close), so an entry is never taken as extracted when it is not.
// It never follows a symbolic link at the final path component.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes quietly when still open
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates `path`; a new file gets `mode` (less the process's umask).
  bool Open(const std::filesystem::path& path, uint32_t mode);
  // Writes all `length` bytes or fails.
  bool Write(const void* data, size_t length);
  // False when closing failed. Safe to call when not open (returns true).
  bool Close();

  bool isOpen() const { return fd_ >= 0; }
  // The platform's text for the last failure.
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};
