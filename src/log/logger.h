#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The process-wide log. Every component records events by level and category; accepted events
// become one line each in a log file under a per-user folder and are also kept in memory (the
// newest 1000, within a byte budget) so that the page can read them back.
//
// Promises:
//  - Callable from any thread; one lock serialises everything.
//  - Never fails towards callers and never throws: before Initialize (or after it failed) calls
//    are ignored.
//  - Each accepted line reaches the file no later than the next accepted line, and in batches
//    of 100 lines or 5 seconds otherwise. A file of 10 MiB or more is rotated; after a rotation
//    only the five newest of this logger's own files are kept.
//  - Log files are opened close-on-exec, so programs the host launches do not inherit them.
//  - Texts are bounded (log/bounded_text.h: 64 KiB per message, 1 KiB per other field, cut
//    with a marker) and the recent entries hold at most kRecentBudgetBytes of text. In the
//    file, control characters are escaped (log/log_line.h), so every event is one line; the
//    recent entries keep the text unescaped.
// Does not promise: that a line is on disk when Log returns.

enum class LogLevel : int32_t { Debug = 0, Info = 1, Warn = 2, Error = 3, Fatal = 4 };

struct LogEntry {
  std::string timestamp;  // "2025-03-01 09:30:15.042", local time
  std::string level;      // "DEBUG" ... "FATAL"
  std::string category;
  std::string message;
  std::string function;  // only for LogWithSource
  std::string file;      // only for LogWithSource
  int32_t line = 0;      // only for LogWithSource
};

class Logger {
 public:
  static constexpr uint64_t kRotationSize = 10'485'760;
  static constexpr size_t kFilesKept = 5;
  static constexpr size_t kRecentCapacity = 1000;
  // Text kept in memory for the read-back, over all recent entries.
  static constexpr size_t kRecentBudgetBytes = 4 * 1024 * 1024;
  static constexpr char kDefaultAppName[] = "Quillfetch";

  // Sets the logger up once: creates the folder (VLM_LOG_DIR wins over `logDirectory`), opens
  // "<appName>_YYYYMMDD_HHMMSS.log" for appending and writes the start-up line. Returns true
  // when ready (or already was), false when logging stays off for the run.
  // While the process is elevated (base/elevation.h), VLM_LOG_DIR and VLM_IS_DEV are not read,
  // and a WARN line names each of them and VELMORANTE_DEBUG that is set: they are ignored.
  static bool Initialize(const std::string& logDirectory, const std::string& appName);

  static void Log(LogLevel level, const std::string& category, const std::string& message);
  static void LogWithSource(LogLevel level, const std::string& category, const std::string& message,
                            const std::string& function, const std::string& file, int32_t line);

  // The newest accepted entries, oldest first: at most `maxEntries` (at least one when any
  // qualifies), DEBUG entries only when `includeDebug`.
  static std::vector<LogEntry> GetRecentEntries(uint64_t maxEntries, bool includeDebug);

  // The file currently written; empty before Initialize.
  static std::string CurrentLogFilePath();

  // Writes out buffered lines now. Also runs at normal process exit.
  static void Flush();

  // Returns the logger to its state before Initialize: closes the file, forgets the entries.
  // For tests, which need several configurations in one process.
  static void ResetForTesting();

  // The text written for a level: "DEBUG" ... "FATAL", "INFO" for any other value.
  static const char* LevelName(LogLevel level);
};
