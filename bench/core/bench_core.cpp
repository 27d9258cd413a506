// Throughput of the two hot paths of the core: encoding a download progress payload for the
// page, and writing one INFO line through the Logger (flushed before the next line, size
// checked before each line), to a real file under a fresh temporary folder.
//
// Run a Release build: bench_core [repetitions]. Each figure is the median of the
// repetitions; the program prints whether it meets its target and always exits 0.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/working_folder.h"
#include "bridge/callback_payload.h"
#include "log/logger.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Keeps results alive so the optimiser cannot drop the work.
volatile size_t g_sink = 0;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Payloads per second for `count` progress reports of a 5 MiB download.
double EncodeRate(uint64_t count) {
  CallbackPayload payload;
  payload.name = "UtlDwldFile";
  payload.cbid = "dl-1";
  payload.jsp = "onDownloadProgress";
  payload.todo = 5'242'880;
  size_t total = 0;
  const auto start = Clock::now();
  for (uint64_t i = 0; i < count; ++i) {
    payload.done = (i * 65'536) % payload.todo;
    total += EncodeCallbackPayload(payload).size();
  }
  const double seconds = Seconds(Clock::now() - start);
  g_sink = g_sink + total;
  return static_cast<double>(count) / seconds;
}

// Lines per second for `count` INFO lines written to a new log file in `folder`.
double LogRate(const fs::path& folder, uint64_t count) {
  Logger::ResetForTesting();
  if (!Logger::Initialize(folder.string(), "Quillfetch")) {
    std::fprintf(stderr, "cannot open a log file in %s\n", folder.c_str());
    std::exit(1);
  }
  std::string message;
  const auto start = Clock::now();
  for (uint64_t i = 0; i < count; ++i) {
    message = "Download progress: ";
    message += std::to_string(i * 65'536);
    message += " of 5242880 bytes";
    Logger::Log(LogLevel::Info, "Engine.Download", message);
  }
  const double seconds = Seconds(Clock::now() - start);
  Logger::ResetForTesting();  // closes the file, outside the timed part
  return static_cast<double>(count) / seconds;
}

void Report(const char* what, double rate, double target, const char* unit) {
  std::printf("%-52s %12.0f %s (target %.0f) %s\n", what, rate, unit, target,
              rate >= target ? "ok" : "BELOW TARGET");
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  // The logger's own configuration must not steer the measurement.
  unsetenv("VLM_LOG_DIR");
  unsetenv("VLM_LOG_LEVEL");
  unsetenv("VLM_IS_DEV");

  std::vector<double> encode;
  EncodeRate(20'000);  // warm-up
  for (int i = 0; i < repetitions; ++i) encode.push_back(EncodeRate(500'000));
  Report("EncodeCallbackPayload, download progress payload", Median(encode), 200'000, "payloads/s");

  const fs::path root = NewWorkingFolderPath();
  std::vector<double> log;
  // 100,000 lines of about 90 bytes stay below the rotation size: this is the steady path.
  for (int i = 0; i < repetitions; ++i) {
    log.push_back(LogRate(root / ("run" + std::to_string(i)), 100'000));
  }
  Report("Logger::Log at INFO, one thread, real file", Median(log), 100'000, "lines/s");

  // The same across rotations (about 27 MB, so two or three new files and retention).
  const double rotating = LogRate(root / "rotating", 300'000);
  Report("Logger::Log at INFO across rotations", rotating, 100'000, "lines/s");

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
