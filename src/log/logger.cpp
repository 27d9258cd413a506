#include "log/logger.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "base/elevation.h"
#include "base/environment.h"
#include "base/tree_removal.h"
#include "base/utf8_path.h"
#include "log/bounded_text.h"
#include "log/log_file.h"
#include "log/log_folder.h"
#include "log/log_line.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBatchFlushLines = 100;
constexpr std::chrono::nanoseconds kBatchFlushInterval(5'000'000'000);
// Switches of the user's environment that an elevated run does not follow.
constexpr const char* kIgnoredWhenElevated[] = {"VLM_LOG_DIR", "VLM_IS_DEV", "VELMORANTE_DEBUG"};
// A value that does not fit a 4096-byte buffer (terminator included) counts as not set.
constexpr size_t kEnvironmentBufferBytes = 4096;

struct LoggerState {
  std::mutex mutex;
  bool initialized = false;
  LogLevel minLevel = LogLevel::Info;
  std::string appName = Logger::kDefaultAppName;
  std::string logDirectory;
  fs::path logFilePath;  // kept as a path: its size is queried before every line
  // The local date and time of the second `stampSecond`, formatted once per second.
  int64_t stampSecond = -1;
  std::string stampText;
  LogFile stream;
  uint64_t linesSinceFlush = 0;
  std::chrono::steady_clock::time_point lastFlush;
  std::deque<LogEntry> recentEntries;
  size_t recentBytes = 0;  // text held by recentEntries
};

LoggerState& State() {
  // Never destroyed: detached workers may still log while the process exits, after static
  // destructors have run. What is buffered is written out at exit instead.
  static LoggerState* const state = [] {
    auto* created = new LoggerState;
    std::atexit([] { Logger::Flush(); });
    return created;
  }();
  return *state;
}

// "2025-03-01 09:30:15.042": local time with milliseconds. Lock held.
std::string FormatTimestamp(LoggerState& s, std::chrono::system_clock::time_point now) {
  const auto sinceEpoch = now.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  const int millis = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count());
  // The calendar conversion is the costly part of a line; it changes once a second.
  if (seconds.count() != s.stampSecond) {
    const std::tm t = LocalCalendarTime(static_cast<std::time_t>(seconds.count()));
    char text[96];  // room for any int values, so the formatter cannot truncate
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    s.stampText = text;
    s.stampSecond = seconds.count();
  }
  std::string stamp;
  stamp.reserve(s.stampText.size() + 4);
  stamp += s.stampText;
  stamp += '.';
  stamp += static_cast<char>('0' + millis / 100);
  stamp += static_cast<char>('0' + millis / 10 % 10);
  stamp += static_cast<char>('0' + millis % 10);
  return stamp;
}

std::string LogFileName(const std::string& appName) {
  const std::tm t = LocalCalendarTime(std::time(nullptr));
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return appName + "_" + stamp + ".log";
}

std::optional<std::string> ReadLoggerVariable(const char* name) {
  std::optional<std::string> value = ReadEnvironmentVariable(name);
  if (value && value->size() + 1 > kEnvironmentBufferBytes) return std::nullopt;
  return value;
}

bool IsOwnLogFile(const std::string& fileName, const std::string& appName) {
  const std::string prefix = appName + "_";
  return fileName.size() > prefix.size() + 4 && fileName.compare(0, prefix.size(), prefix) == 0 &&
         fileName.compare(fileName.size() - 4, 4, ".log") == 0;
}

// Keeps the newest kFilesKept of this logger's own files. Other files in the folder are never
// touched: the folder can be pointed anywhere through VLM_LOG_DIR. A link under one of the
// names is left as well, never deleted through.
void ApplyRetention(const LoggerState& s) {
  std::vector<std::pair<fs::file_time_type, fs::path>> files;
  std::error_code ec;
  for (fs::directory_iterator it(s.logDirectory, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    if (!it->is_regular_file(statusError) || statusError) continue;
    if (!IsOwnLogFile(it->path().filename().string(), s.appName)) continue;
    const fs::file_time_type written = it->last_write_time(statusError);
    if (statusError) continue;
    files.emplace_back(written, it->path());
  }
  if (ec || files.size() <= Logger::kFilesKept) return;
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i + Logger::kFilesKept < files.size(); ++i) {
    std::error_code removeError;
    RemovePlainFile(files[i].second, removeError);  // a file that cannot go is skipped
  }
}

void RotateIfNeeded(LoggerState& s) {
  if (!s.stream.IsOpen()) return;
  s.stream.Flush();
  std::error_code sizeError;
  const uintmax_t size = fs::file_size(s.logFilePath, sizeError);
  if (sizeError || size < Logger::kRotationSize) return;
  s.stream.Close();
  s.logFilePath = PathFromUtf8(s.logDirectory) / LogFileName(s.appName);
  if (!s.stream.Open(PathToUtf8(s.logFilePath))) return;  // file logging stops for the run
  ApplyRetention(s);
}

size_t EntryBytes(const LogEntry& entry) {
  return entry.timestamp.size() + entry.level.size() + entry.category.size() +
         entry.message.size() + entry.function.size() + entry.file.size();
}

// Oldest entries go first, once either the count or the byte budget would be exceeded; the
// newest entry is always kept. Lock held.
void KeepRecent(LoggerState& s, LogEntry entry) {
  const size_t bytes = EntryBytes(entry);
  while (!s.recentEntries.empty() && (s.recentEntries.size() >= Logger::kRecentCapacity ||
                                      s.recentBytes + bytes > Logger::kRecentBudgetBytes)) {
    s.recentBytes -= EntryBytes(s.recentEntries.front());
    s.recentEntries.pop_front();
  }
  s.recentBytes += bytes;
  s.recentEntries.push_back(std::move(entry));
}

// The write step shared by Log, LogWithSource and Initialize's start-up line. Lock held.
void WriteLocked(LoggerState& s, LogLevel level, const std::string& category,
                 const std::string& message, const std::string& function, const std::string& file,
                 int32_t line, bool withSource) {
  if (!s.initialized || level < s.minLevel) return;
  try {
    RotateIfNeeded(s);
    LogEntry entry;
    entry.timestamp = FormatTimestamp(s, std::chrono::system_clock::now());
    entry.level = Logger::LevelName(level);
    entry.category = CutToLimit(category, kMaxLogFieldBytes);
    entry.message = CutToLimit(message, kMaxLogMessageBytes);
    if (withSource) {
      entry.function = CutToLimit(function, kMaxLogFieldBytes);
      entry.file = CutToLimit(file, kMaxLogFieldBytes);
      entry.line = line;
    }
    const LogLineSource source{entry.function, entry.file, entry.line};
    const std::string text = FormatLogLine(entry.timestamp, entry.level, entry.category,
                                           entry.message, withSource ? &source : nullptr);
    s.stream.Append(text);
    ++s.linesSinceFlush;
    KeepRecent(s, std::move(entry));
    const auto now = std::chrono::steady_clock::now();
    if (s.linesSinceFlush >= kBatchFlushLines || now - s.lastFlush >= kBatchFlushInterval) {
      s.stream.Flush();
      s.linesSinceFlush = 0;
      s.lastFlush = now;
    }
  } catch (...) {
    // Logging never fails towards its caller.
  }
}

LogLevel MinLevelFromEnvironment(bool development) {
  const std::optional<std::string> value = ReadLoggerVariable("VLM_LOG_LEVEL");
  if (!value || value->empty()) return development ? LogLevel::Debug : LogLevel::Info;
  std::string upper = *value;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "DEBUG") return LogLevel::Debug;
  if (upper == "INFO") return LogLevel::Info;
  if (upper == "WARN") return LogLevel::Warn;
  if (upper == "ERROR" || upper == "ERR") return LogLevel::Error;
  if (upper == "FATAL") return LogLevel::Fatal;
  return LogLevel::Info;
}

}  // namespace

const char* Logger::LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Debug:
      return "DEBUG";
    case LogLevel::Info:
      return "INFO";
    case LogLevel::Warn:
      return "WARN";
    case LogLevel::Error:
      return "ERROR";
    case LogLevel::Fatal:
      return "FATAL";
  }
  return "INFO";
}

bool Logger::Initialize(const std::string& logDirectory, const std::string& appName) {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.initialized) return true;
  try {
    if (!appName.empty()) s.appName = appName;
    // An elevated process's environment is partly the user's to set: a log folder from there
    // would let the user point the program's writes anywhere (through a link, even), and the
    // developer switches would open the page's tools on an elevated program. Both are ignored
    // then, and the log says so once it is open.
    const bool elevated = ProcessIsElevated();
    fs::path folder;
    const std::optional<std::string> fromEnvironment =
        elevated ? std::nullopt : ReadLoggerVariable("VLM_LOG_DIR");
    if (fromEnvironment && !fromEnvironment->empty()) {
      folder = PathFromUtf8(*fromEnvironment);
    } else if (!logDirectory.empty()) {
      folder = PathFromUtf8(logDirectory);
    } else {
      folder = DefaultLogFolder();
      if (folder.empty()) return false;
    }
    fs::create_directories(folder);
    s.logDirectory = PathToUtf8(folder);
    s.logFilePath = folder / LogFileName(s.appName);
    s.stampSecond = -1;  // the time zone may have changed since an earlier run (tests)
    if (!s.stream.Open(PathToUtf8(s.logFilePath))) return false;
    ApplyRetention(s);  // also when no run ever grows a file to the rotation size
    const std::optional<std::string> dev =
        elevated ? std::nullopt : ReadLoggerVariable("VLM_IS_DEV");
    const bool development = dev && !dev->empty() && *dev != "0";
    s.minLevel = MinLevelFromEnvironment(development);
    s.initialized = true;
    s.lastFlush = std::chrono::steady_clock::now();
    s.linesSinceFlush = 0;
    WriteLocked(s, LogLevel::Info, "Logger",
                std::string("Logger initialized (min=") + LevelName(s.minLevel) +
                    ", dev=" + (development ? "1" : "0") + ")",
                {}, {}, 0, false);
    if (elevated) {
      for (const char* name : kIgnoredWhenElevated) {
        const std::optional<std::string> value = ReadEnvironmentVariable(name);
        if (!value || value->empty()) continue;
        WriteLocked(s, LogLevel::Warn, "Logger",
                    std::string(name) + " is ignored: the program runs elevated", {}, {}, 0, false);
      }
    }
    s.stream.Flush();
    return true;
  } catch (...) {
    s.stream.Close();
    return false;
  }
}

void Logger::Log(LogLevel level, const std::string& category, const std::string& message) {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  WriteLocked(s, level, category, message, {}, {}, 0, false);
}

void Logger::LogWithSource(LogLevel level, const std::string& category, const std::string& message,
                           const std::string& function, const std::string& file, int32_t line) {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  WriteLocked(s, level, category, message, function, file, line, true);
}

std::vector<LogEntry> Logger::GetRecentEntries(uint64_t maxEntries, bool includeDebug) {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<LogEntry> result;
  for (auto it = s.recentEntries.rbegin(); it != s.recentEntries.rend(); ++it) {
    if (it->level == "DEBUG" && !includeDebug) continue;
    result.push_back(*it);
    if (result.size() >= maxEntries) break;
  }
  std::reverse(result.begin(), result.end());
  return result;
}

std::string Logger::CurrentLogFilePath() {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return PathToUtf8(s.logFilePath);
}

void Logger::Flush() {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.stream.Flush();
}

void Logger::ResetForTesting() {
  LoggerState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.stream.Close();
  s.initialized = false;
  s.minLevel = LogLevel::Info;
  s.appName = kDefaultAppName;
  s.logDirectory.clear();
  s.logFilePath.clear();
  s.linesSinceFlush = 0;
  s.recentEntries.clear();
  s.recentBytes = 0;
}
