// What only POSIX can show of the Logger: local time under a TZ rule, the process's exit while
// workers log, descriptors that launched programs do not inherit, and a log folder and files
// that nobody else can plant or read.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "log/logger_test_support.h"

using namespace logger_test;

namespace {

TEST_F(LoggerTest, TimestampsAreLocalTimeWithMilliseconds) {
  // A fixed zone without daylight saving makes local time checkable against the system clock.
  struct ZoneReload {
    ~ZoneReload() { tzset(); }  // after `zone` has put TZ back
  } reload;
  ScopedEnvironmentVariable zone("TZ", "XYZ-05:30");
  tzset();
  ASSERT_TRUE(Initialize());
  const auto before = std::chrono::system_clock::now();
  Logger::Log(LogLevel::Info, "engine", "tick");
  const auto after = std::chrono::system_clock::now();
  const std::string fileName = CurrentFile().filename().string();
  const std::vector<LogEntry> entries = Logger::GetRecentEntries(1, false);
  ASSERT_EQ(entries.size(), 1u);
  const std::string stampText = entries[0].timestamp;

  std::tm fields{};
  int millis = -1;
  ASSERT_EQ(std::sscanf(stampText.c_str(), "%d-%d-%d %d:%d:%d.%d", &fields.tm_year, &fields.tm_mon,
                        &fields.tm_mday, &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &millis),
            7)
      << stampText;
  fields.tm_year -= 1900;
  fields.tm_mon -= 1;
  const int64_t utcMillis =
      (static_cast<int64_t>(timegm(&fields)) - (5 * 3600 + 30 * 60)) * 1000 + millis;
  const auto toMillis = [](std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  };
  EXPECT_GE(utcMillis, toMillis(before));
  EXPECT_LE(utcMillis, toMillis(after));

  // The file name is the same zone's date and time, to the second.
  const std::time_t opened = static_cast<std::time_t>(utcMillis / 1000);
  std::tm local{};
  localtime_r(&opened, &local);
  char expected[64];
  std::strftime(expected, sizeof expected, "Quillfetch_%Y%m%d_%H", &local);
  EXPECT_EQ(fileName.substr(0, 22), expected);
}

TEST_F(LoggerTest, ExitWritesOutTheLastLinesWhileWorkersStillLog) {
  const fs::path folder = Folder();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A detached worker that goes on logging while the process exits, as a download does
    // when the window is closed by force.
    if (!Logger::Initialize(folder.string(), "Quillfetch")) _exit(3);
    std::thread([] {
      for (int i = 0;; ++i) Logger::Log(LogLevel::Info, "Engine.Download", std::to_string(i));
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Logger::Log(LogLevel::Info, "engine", "last words");
    std::exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the process died at exit, signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::vector<fs::path> files = OwnLogFiles(folder);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(ReadAll(files[0]).find("] [INFO] [engine] last words\n"), std::string::npos);
}

// The descriptors of this process that point at `file`.
std::vector<int> DescriptorsOf(const fs::path& file) {
  std::vector<int> fds;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (!ec && target == file) fds.push_back(std::stoi(entry.path().filename().string()));
  }
  return fds;
}

// What a launched program sees among its open descriptors.
std::string ChildDescriptorListing() {
  FILE* pipe = popen("ls -l /proc/self/fd/", "r");
  if (pipe == nullptr) return "popen failed";
  std::string out;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST_F(LoggerTest, LaunchedProgramsDoNotInheritTheLogFile) {
  ASSERT_TRUE(Initialize());
  const fs::path first = CurrentFile();
  const std::vector<int> fds = DescriptorsOf(first);
  ASSERT_EQ(fds.size(), 1u);
  EXPECT_NE(fcntl(fds[0], F_GETFD) & FD_CLOEXEC, 0);
  std::string listing = ChildDescriptorListing();
  EXPECT_NE(listing.find("/proc/"), std::string::npos) << listing;  // ls did run
  EXPECT_EQ(listing.find(first.filename().string()), std::string::npos) << listing;

  // A file opened by rotation is close-on-exec too.
  Logger::Flush();
  fs::resize_file(first, Logger::kRotationSize);
  WaitForNewFileName(first);
  Logger::Log(LogLevel::Info, "engine", "rotate");
  const fs::path second = CurrentFile();
  ASSERT_NE(second, first);
  const std::vector<int> rotated = DescriptorsOf(second);
  ASSERT_EQ(rotated.size(), 1u);
  EXPECT_NE(fcntl(rotated[0], F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_TRUE(DescriptorsOf(first).empty());  // the full file was closed
  listing = ChildDescriptorListing();
  EXPECT_EQ(listing.find(second.filename().string()), std::string::npos) << listing;
}

// Permission bits of `path` itself (a link is not followed).
unsigned Mode(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000;
}

TEST_F(LoggerTest, DefaultFolderIsPrivateEvenUnderAPlantedLinkOrAnOpenUmask) {
  struct UmaskGuard {
    mode_t old = ::umask(0);
    ~UmaskGuard() { ::umask(old); }
  } openUmask;
  // The runtime folder's entry is a link to a folder somebody else reads: it is passed over for
  // the next candidate, and nothing is written through it.
  const fs::path elsewhere = temp_.path() / "elsewhere";
  fs::create_directories(elsewhere);
  fs::create_directories(temp_.path() / "run");
  fs::create_symlink(elsewhere, temp_.path() / "run" / "Velmorante");
  ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", (temp_.path() / "run").string());
  ScopedEnvironmentVariable state("XDG_STATE_HOME", (temp_.path() / "state").string());

  ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  const fs::path folder = temp_.path() / "state" / "Velmorante";
  EXPECT_EQ(CurrentFile().parent_path(), folder / "Logs");
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_EQ(Mode(folder / "Logs"), 0700u);
  EXPECT_EQ(Mode(CurrentFile()), 0600u);

  // Our own folder left open to others (an older version, a careless copy) is narrowed.
  Logger::ResetForTesting();
  ::chmod(folder.c_str(), 0777);
  ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  EXPECT_EQ(Mode(folder), 0700u);
}

TEST_F(LoggerTest, NeverAppendsThroughALinkPlantedUnderTheNextFileNames) {
  fs::create_directories(Folder());
  const fs::path victim = temp_.path() / "bashrc";
  std::ofstream(victim) << "original\n";
  // Links under the names of the next few seconds, one of which the logger will choose.
  const auto plant = [&](bool hard) {
    for (const fs::path& file : OwnLogFiles(Folder())) fs::remove(file);
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t < now + 4; ++t) {
      std::tm local{};
      localtime_r(&t, &local);
      char name[64];
      std::strftime(name, sizeof name, "Quillfetch_%Y%m%d_%H%M%S.log", &local);
      if (hard) {
        fs::create_hard_link(victim, Folder() / name);
      } else {
        fs::create_symlink(victim, Folder() / name);
      }
    }
  };
  for (const bool hard : {false, true}) {
    SCOPED_TRACE(hard ? "hard links" : "symbolic links");
    Logger::ResetForTesting();
    plant(hard);
    EXPECT_FALSE(Initialize());
    Logger::Log(LogLevel::Info, "UI", "page text");
    Logger::ResetForTesting();
    EXPECT_EQ(ReadAll(victim), "original\n");
  }
}

}  // namespace
