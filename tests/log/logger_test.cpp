// The Logger on real files: formats, configuration, flushing, rotation, retention, threads.

#include <cstdint>
#include <map>
#include <optional>

#include "log/logger_test_support.h"

using namespace logger_test;

namespace {

TEST_F(LoggerTest, WritesFileNameLinesAndStartUpLineInTheirFormats) {
  ASSERT_TRUE(Initialize());
  const fs::path file = CurrentFile();
  EXPECT_EQ(file.parent_path(), Folder());
  EXPECT_TRUE(std::regex_match(file.filename().string(), kFileNamePattern)) << file;

  Logger::Log(LogLevel::Info, "engine", "WebView navigated to start page");
  Logger::LogWithSource(LogLevel::Warn, "UI", "Retry failed", "startDownload", "main.js", 118);
  Logger::LogWithSource(LogLevel::Error, "UI", "odd place", "", "", -7);
  Logger::Log(LogLevel::Info, "engine", "two\nlines");

  const std::vector<std::string> lines = FlushedLines();
  ASSERT_EQ(lines.size(), 5u);  // a line break in a text is escaped
  const std::vector<std::string> tails = {
      "[INFO] [Logger] Logger initialized (min=INFO, dev=0)",
      "[INFO] [engine] WebView navigated to start page",
      "[WARN] [UI] Retry failed (main.js:118, startDownload)",
      "[ERROR] [UI] odd place (:-7, )",
      "[INFO] [engine] two\\nlines",
  };
  const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] (.*))");
  for (size_t i = 0; i < tails.size(); ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[i], match, stamp)) << lines[i];
    EXPECT_EQ(match[1], tails[i]);
  }

  // The read-back entries carry the same texts as the file.
  const std::vector<LogEntry> entries = Logger::GetRecentEntries(10, true);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(lines[2].substr(1, 23), entries[2].timestamp);
  EXPECT_EQ(entries[2].level, "WARN");
  EXPECT_EQ(entries[2].category, "UI");
  EXPECT_EQ(entries[2].message, "Retry failed");
  EXPECT_EQ(entries[2].function, "startDownload");
  EXPECT_EQ(entries[2].file, "main.js");
  EXPECT_EQ(entries[2].line, 118);
  EXPECT_EQ(entries[1].function, "");
  EXPECT_EQ(entries[1].file, "");
  EXPECT_EQ(entries[1].line, 0);
  EXPECT_EQ(entries[4].message, "two\nlines");
}

TEST_F(LoggerTest, ARunWithinTheSameSecondAppendsToTheSameFile) {
  // Two initialisations in one second share the file name; the second must not truncate.
  for (int attempt = 0; attempt < 5; ++attempt) {
    Logger::ResetForTesting();
    ASSERT_TRUE(Initialize());
    Logger::Log(LogLevel::Info, "engine", "first run");
    const fs::path first = CurrentFile();
    Logger::ResetForTesting();
    ASSERT_TRUE(Initialize());
    if (CurrentFile() != first) continue;  // the second ticked in between
    const std::vector<std::string> lines = FlushedLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[lines.size() - 2].find("first run"), std::string::npos);
    EXPECT_NE(lines.back().find("Logger initialized"), std::string::npos);
    return;
  }
  GTEST_SKIP() << "could not initialise twice within one second";
}

struct EnvironmentCase {
  std::optional<std::string> isDev;
  std::optional<std::string> logLevel;
  std::string startUpLine;                 // empty when the start-up line is below the minimum
  std::vector<std::string> levelsWritten;  // of DEBUG, INFO, WARN, ERROR, FATAL logged after
};

TEST_F(LoggerTest, EnvironmentSetsDevelopmentFlagAndMinimumLevel) {
  const std::string over4095(4096, '1');
  const std::string fits4095(4095, '1');
  const std::vector<EnvironmentCase> cases = {
      {{}, {}, "min=INFO, dev=0", {"INFO", "WARN", "ERROR", "FATAL"}},
      {"1", {}, "min=DEBUG, dev=1", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {"false", {}, "min=DEBUG, dev=1", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {"00", {}, "min=DEBUG, dev=1", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {"0", {}, "min=INFO, dev=0", {"INFO", "WARN", "ERROR", "FATAL"}},
      {"", {}, "min=INFO, dev=0", {"INFO", "WARN", "ERROR", "FATAL"}},
      {fits4095, {}, "min=DEBUG, dev=1", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {over4095, {}, "min=INFO, dev=0", {"INFO", "WARN", "ERROR", "FATAL"}},
      {"1", "", "min=DEBUG, dev=1", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {{}, "err", "", {"ERROR", "FATAL"}},
      {{}, "Error", "", {"ERROR", "FATAL"}},
      {"1", "warning", "min=INFO, dev=1", {"INFO", "WARN", "ERROR", "FATAL"}},
      {{}, "WARN", "", {"WARN", "ERROR", "FATAL"}},
      {{}, "fatal", "", {"FATAL"}},
      {{}, "debug", "min=DEBUG, dev=0", {"DEBUG", "INFO", "WARN", "ERROR", "FATAL"}},
      {"1", "info", "min=INFO, dev=1", {"INFO", "WARN", "ERROR", "FATAL"}},
      {{}, " INFO", "min=INFO, dev=0", {"INFO", "WARN", "ERROR", "FATAL"}},
  };
  int index = 0;
  for (const EnvironmentCase& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index));
    Logger::ResetForTesting();
    ScopedEnvironmentVariable isDev("VLM_IS_DEV", c.isDev);
    ScopedEnvironmentVariable logLevel("VLM_LOG_LEVEL", c.logLevel);
    const fs::path folder = temp_.path() / ("case" + std::to_string(index++));
    ASSERT_TRUE(Logger::Initialize(folder.string(), "Quillfetch"));
    const std::vector<std::string> atStart = FlushedLines();
    if (c.startUpLine.empty()) {
      EXPECT_TRUE(atStart.empty());
    } else {
      ASSERT_EQ(atStart.size(), 1u);
      EXPECT_NE(atStart[0].find("] [INFO] [Logger] Logger initialized (" + c.startUpLine + ")"),
                std::string::npos)
          << atStart[0];
    }
    for (int level = 0; level <= 4; ++level) {
      Logger::Log(static_cast<LogLevel>(level), "engine", "probe");
    }
    std::vector<std::string> written;
    for (const std::string& line : FlushedLines()) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, kLinePattern)) << line;
      if (match[4] == "probe") written.push_back(match[2]);
    }
    EXPECT_EQ(written, c.levelsWritten);
    // What the file does not show, the page does not get either.
    EXPECT_EQ(Logger::GetRecentEntries(1000, true).size(),
              c.levelsWritten.size() + (c.startUpLine.empty() ? 0 : 1));
  }
}

TEST_F(LoggerTest, LogDirectoryVariableWinsAndMissingParentsAreCreated) {
  // A name outside the ANSI code page: the variable's UTF-8 must not be read in another one.
  const fs::path fromVariable = temp_.path() / "a" / PathFromUtf8("\xC5\xBBo\xCE\xB1") / "c";
  {
    ScopedEnvironmentVariable dir("VLM_LOG_DIR", fromVariable.string());
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(CurrentFile().parent_path(), fromVariable);
    EXPECT_TRUE(fs::is_regular_file(CurrentFile()));
    EXPECT_FALSE(fs::exists(Folder()));
    // A second call changes nothing, even with another folder.
    EXPECT_TRUE(Logger::Initialize((temp_.path() / "other").string(), "Other"));
    EXPECT_EQ(CurrentFile().parent_path(), fromVariable);
    EXPECT_FALSE(fs::exists(temp_.path() / "other"));
  }
  Logger::ResetForTesting();
  {
    ScopedEnvironmentVariable dir("VLM_LOG_DIR", "");
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(CurrentFile().parent_path(), Folder());
  }
  Logger::ResetForTesting();
  // Neither given: the temporary folder's Velmorante/Logs, with the default name.
  ASSERT_TRUE(Logger::Initialize("", ""));
  EXPECT_EQ(CurrentFile().parent_path(), temp_.path() / "Velmorante" / "Logs");
  EXPECT_TRUE(std::regex_match(CurrentFile().filename().string(), kFileNamePattern));
  Logger::ResetForTesting();
  ASSERT_TRUE(Initialize());
  ASSERT_TRUE(Logger::Initialize(Folder().string(), "Setup"));
  EXPECT_EQ(CurrentFile().filename().string().rfind("Quillfetch_", 0), 0u);
  Logger::ResetForTesting();
  ASSERT_TRUE(Logger::Initialize((temp_.path() / "named").string(), "Setup"));
  EXPECT_EQ(CurrentFile().filename().string().rfind("Setup_", 0), 0u);
}

// Elevated, the user's environment names no log folder and no development level: the folder
// named there (a link to anywhere, say) is never made, and the log says what it ignored.
TEST_F(LoggerTest, ElevatedTheLogFolderAndDeveloperSwitchesOfTheEnvironmentAreIgnored) {
  ScopedElevation elevated(true);
  const fs::path named = temp_.path() / "named" / "Logs";
  ScopedEnvironmentVariable dir("VLM_LOG_DIR", named.string());
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", "1");
  ASSERT_TRUE(Initialize());
  EXPECT_EQ(CurrentFile().parent_path(), Folder());
  EXPECT_FALSE(fs::exists(temp_.path() / "named"));
  Logger::Log(LogLevel::Debug, "engine", "not at the development level");
  const std::vector<std::string> lines = FlushedLines();
  const std::string text = [&] {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
  }();
  EXPECT_NE(text.find("dev=0"), std::string::npos) << text;
  EXPECT_EQ(text.find("not at the development level"), std::string::npos) << text;
  for (const char* name : {"VLM_LOG_DIR", "VLM_IS_DEV", "VELMORANTE_DEBUG"}) {
    EXPECT_NE(text.find(std::string(name) + " is ignored: the program runs elevated"),
              std::string::npos)
        << name << "\n"
        << text;
  }
}

TEST_F(LoggerTest, AFolderThatCannotBeCreatedLeavesLoggingOff) {
  // A regular file in the way cannot be made a folder, not even by root.
  const fs::path blocker = temp_.path() / "blocker";
  std::ofstream(blocker) << "x";
  ScopedEnvironmentVariable dir("VLM_LOG_DIR", (blocker / "logs").string());
  EXPECT_FALSE(Initialize());
  Logger::Log(LogLevel::Fatal, "engine", "nobody hears this");
  Logger::LogWithSource(LogLevel::Error, "UI", "nor this", "f", "x.js", 1);
  Logger::Flush();
  EXPECT_TRUE(Logger::GetRecentEntries(1000, true).empty());
  EXPECT_EQ(Listing(temp_.path()), (std::set<std::string>{"blocker"}));
  EXPECT_EQ(ReadAll(blocker), "x");
}

TEST_F(LoggerTest, EachLineIsInTheFileOnceTheNextIsLogged) {
  ASSERT_TRUE(Initialize());
  const fs::path file = CurrentFile();
  for (int i = 0; i < 250; ++i) {
    Logger::Log(LogLevel::Info, "engine", "line " + std::to_string(i));
    if (i == 0) continue;
    // Read without Flush: only what the logger itself has written out.
    const std::vector<std::string> lines = ReadLines(file);
    ASSERT_GE(lines.size(), static_cast<size_t>(i) + 1) << "after line " << i;
    EXPECT_NE(lines[i].find("line " + std::to_string(i - 1)), std::string::npos);
  }
}

TEST_F(LoggerTest, RotatesAtTenMebibytesWithoutLosingALine) {
  ASSERT_TRUE(Initialize());
  const fs::path first = CurrentFile();
  const std::string padding(8000, 'p');
  int written = 0;
  while (fs::file_size(first) < Logger::kRotationSize) {
    Logger::Log(LogLevel::Info, "engine", std::to_string(written++) + " " + padding);
    Logger::Flush();
    ASSERT_EQ(CurrentFile(), first) << "rotated below the limit at line " << written;
  }
  EXPECT_LT(fs::file_size(first) - Logger::kRotationSize, padding.size() + 64);

  WaitForNewFileName(first);
  Logger::Log(LogLevel::Info, "engine", "after rotation");
  const fs::path second = CurrentFile();
  ASSERT_NE(second, first);
  EXPECT_EQ(second.parent_path(), Folder());
  EXPECT_TRUE(std::regex_match(second.filename().string(), kFileNamePattern));
  EXPECT_GE(fs::file_size(first), Logger::kRotationSize);

  const std::vector<std::string> old = ReadLines(first);
  ASSERT_EQ(old.size(), static_cast<size_t>(written) + 1);  // start-up line and every line
  EXPECT_NE(old.back().find(std::to_string(written - 1) + " ppp"), std::string::npos);
  const std::vector<std::string> fresh = FlushedLines();
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_NE(fresh[0].find("after rotation"), std::string::npos);
}

TEST_F(LoggerTest, RetentionKeepsFiveOwnFilesAndLeavesEverythingElse) {
  fs::create_directories(Folder());
  const auto now = fs::file_time_type::clock::now();
  std::vector<std::string> oldOwn;
  for (int i = 1; i <= 6; ++i) {
    const std::string name = "Quillfetch_20200101_00000" + std::to_string(i) + ".log";
    std::ofstream(Folder() / name) << "old " << i << "\n";
    fs::last_write_time(Folder() / name, now - std::chrono::hours(100 - i));
    oldOwn.push_back(name);
  }
  // Foreign files are older than every own file, so an unfiltered pruning would take them.
  const std::vector<std::string> foreign = {"notes.txt", "Other_20200101_000000.log",
                                            "Quillfetch.log", "Quillfetch_backup.txt",
                                            "quillfetch_20200101_000000.log"};
  for (const std::string& name : foreign) {
    std::ofstream(Folder() / name, std::ios::binary) << "keep me\n";
    fs::last_write_time(Folder() / name, now - std::chrono::hours(1000));
  }
  const fs::path subfolder = Folder() / "Quillfetch_20190101_000000.log";
  fs::create_directories(subfolder);
  std::ofstream(subfolder / "inside.log", std::ios::binary) << "keep me too\n";

  ASSERT_TRUE(Initialize());
  const fs::path current = CurrentFile();
  // Start-up prunes as well: a run that never fills a file must not let files pile up.
  for (size_t i = 0; i < oldOwn.size(); ++i) {
    EXPECT_EQ(fs::exists(Folder() / oldOwn[i]), i >= 2) << oldOwn[i];
  }

  // A full file (the size is what counts) rotates on the next line.
  Logger::Flush();
  fs::resize_file(current, Logger::kRotationSize);
  WaitForNewFileName(current);
  Logger::Log(LogLevel::Info, "engine", "rotate now");
  const fs::path next = CurrentFile();
  ASSERT_NE(next, current);

  std::set<std::string> expected = {oldOwn[3], oldOwn[4], oldOwn[5], current.filename().string(),
                                    next.filename().string()};
  for (const std::string& name : foreign) expected.insert(name);
  expected.insert(subfolder.filename().string());
  EXPECT_EQ(Listing(Folder()), expected);
  EXPECT_EQ(OwnLogFiles(Folder()).size(), Logger::kFilesKept);
  for (const std::string& name : foreign) EXPECT_EQ(ReadAll(Folder() / name), "keep me\n");
  EXPECT_EQ(ReadAll(subfolder / "inside.log"), "keep me too\n");
}

TEST_F(LoggerTest, EightThreadsLoseAndInterleaveNoLine) {
  ASSERT_TRUE(Initialize());
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int n = 0; n < kLinesEach; ++n) {
        // Lengths vary so that torn writes would show as a broken pattern.
        const std::string body(static_cast<size_t>((n * 7 + t) % 300), static_cast<char>('a' + t));
        Logger::Log(LogLevel::Warn, "T" + std::to_string(t), std::to_string(n) + ":" + body + ";");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  const std::vector<std::string> lines = FlushedLines();
  ASSERT_EQ(lines.size(), 1u + kThreads * kLinesEach);
  std::map<int, int> nextOf;
  const std::regex body(R"((\d+):([a-h]*);)");
  for (size_t i = 1; i < lines.size(); ++i) {
    std::smatch line;
    ASSERT_TRUE(std::regex_match(lines[i], line, kLinePattern)) << lines[i];
    ASSERT_EQ(line[2], "WARN");
    const std::string category = line[3];
    ASSERT_EQ(category.size(), 2u);
    const int t = category[1] - '0';
    const std::string message = line[4];
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(message, parts, body)) << lines[i];
    const int n = std::stoi(parts[1]);
    EXPECT_EQ(n, nextOf[t]) << "thread " << t << " out of order or lost";
    nextOf[t] = n + 1;
    EXPECT_EQ(parts[2].str(),
              std::string(static_cast<size_t>((n * 7 + t) % 300), static_cast<char>('a' + t)));
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(nextOf[t], kLinesEach) << "thread " << t;
  EXPECT_EQ(Logger::GetRecentEntries(100000, true).size(), Logger::kRecentCapacity);
}

TEST_F(LoggerTest, RecentEntriesAreBoundedNewestKeptOldestFirst) {
  EXPECT_TRUE(Logger::GetRecentEntries(10, true).empty());  // before Initialize
  Logger::Log(LogLevel::Fatal, "engine", "too early");
  ASSERT_TRUE(Initialize());
  for (int i = 0; i < 1005; ++i) Logger::Log(LogLevel::Info, "engine", "m" + std::to_string(i));

  const std::vector<LogEntry> all = Logger::GetRecentEntries(5000, true);
  ASSERT_EQ(all.size(), 1000u);
  EXPECT_EQ(all.front().message, "m5");
  EXPECT_EQ(all.back().message, "m1004");

  const std::vector<LogEntry> three = Logger::GetRecentEntries(3, false);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[0].message, "m1002");
  EXPECT_EQ(three[2].message, "m1004");

  const std::vector<LogEntry> none = Logger::GetRecentEntries(0, false);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].message, "m1004");
}

TEST_F(LoggerTest, RecentEntriesStayWithinTheirByteBudget) {
  ASSERT_TRUE(Initialize());
  const std::string big(60'000, 'b');  // under the cut, so only the budget bounds them
  for (int i = 0; i < 100; ++i) Logger::Log(LogLevel::Info, "engine", std::to_string(i) + big);
  const std::vector<LogEntry> kept = Logger::GetRecentEntries(5000, true);
  size_t bytes = 0;
  for (const LogEntry& e : kept) {
    bytes += e.timestamp.size() + e.level.size() + e.category.size() + e.message.size() +
             e.function.size() + e.file.size();
  }
  EXPECT_LE(bytes, Logger::kRecentBudgetBytes);
  EXPECT_GT(bytes, Logger::kRecentBudgetBytes - 61'000);
  EXPECT_EQ(kept.back().message.substr(0, 3), "99b");
}

TEST_F(LoggerTest, DebugEntriesAreSkippedWithoutCountingUnlessAskedFor) {
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");
  ASSERT_TRUE(Initialize());
  Logger::Log(LogLevel::Info, "engine", "i1");
  Logger::Log(LogLevel::Debug, "engine", "d1");
  Logger::Log(LogLevel::Debug, "engine", "d2");
  Logger::Log(LogLevel::Info, "engine", "i2");
  Logger::Log(LogLevel::Debug, "engine", "d3");
  const auto messages = [](const std::vector<LogEntry>& entries) {
    std::vector<std::string> texts;
    for (const LogEntry& e : entries) texts.push_back(e.message);
    return texts;
  };
  EXPECT_EQ(messages(Logger::GetRecentEntries(2, false)), (std::vector<std::string>{"i1", "i2"}));
  EXPECT_EQ(messages(Logger::GetRecentEntries(2, true)), (std::vector<std::string>{"i2", "d3"}));
  EXPECT_EQ(messages(Logger::GetRecentEntries(0, false)), (std::vector<std::string>{"i2"}));
  EXPECT_EQ(messages(Logger::GetRecentEntries(0, true)), (std::vector<std::string>{"d3"}));
}

TEST_F(LoggerTest, UnnamedLevelsAreInfoWhenHighAndNeverWrittenWhenNegative) {
  {
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "FATAL");
    ASSERT_TRUE(Initialize());
    Logger::Log(static_cast<LogLevel>(7), "engine", "seven");
    Logger::Log(static_cast<LogLevel>(3), "engine", "error is below fatal");
    const std::vector<std::string> lines = FlushedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("] [INFO] [engine] seven"), std::string::npos);
    EXPECT_EQ(Logger::GetRecentEntries(1, true).at(0).level, "INFO");
  }
  Logger::ResetForTesting();
  ScopedEnvironmentVariable dev("VLM_IS_DEV", "1");  // minimum DEBUG
  ASSERT_TRUE(Logger::Initialize((temp_.path() / "negative").string(), "Quillfetch"));
  Logger::Log(static_cast<LogLevel>(-1), "engine", "minus one");
  Logger::Log(static_cast<LogLevel>(INT32_MIN), "engine", "minimum");
  EXPECT_EQ(FlushedLines().size(), 1u);  // the start-up line only
  EXPECT_EQ(Logger::GetRecentEntries(10, true).size(), 1u);
}

}  // namespace
