#include "install/unzip_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/utf8_path.h"
#include "log/logger.h"

namespace {

size_t CountCompletions(const HostHarness& h) {
  return static_cast<size_t>(std::count_if(
      h.webView->scripts.begin(), h.webView->scripts.end(),
      [](const std::string& s) { return s.find("onActionComplete(") != std::string::npos; }));
}

}  // namespace

void PostUnZip(HostHarness& h, const std::filesystem::path& archive,
               const std::string& callbackId) {
  nlohmann::json message = {{"action", "doUnZip"},
                            {"callbackId", callbackId},
                            {"download", {{"des", PathToUtf8(archive)}}}};
  h.Post(message.dump());
}

UnZipRun CollectRun(HostHarness& h, const std::string& callbackId) {
  UnZipRun run;
  for (const PageCallback& c : h.Callbacks()) {
    if (c.payload.value("cbid", "") != callbackId) continue;
    if (c.function == "onActionProgress") {
      run.progress.push_back(c.payload);
    } else {
      EXPECT_TRUE(run.completion.is_null()) << "second completion for " << callbackId;
      run.completion = c.payload;
    }
  }
  return run;
}

UnZipRun RunUnZip(HostHarness& h, const std::filesystem::path& archive,
                  const std::string& callbackId) {
  const size_t before = CountCompletions(h);
  PostUnZip(h, archive, callbackId);
  const std::filesystem::path folder = PathFromUtf8(h.host->WorkingFolders().back());
  EXPECT_TRUE(h.PumpUntil([&] { return CountCompletions(h) > before; }, 60000));
  // Finish clears running just after posting the completion.
  EXPECT_TRUE(h.PumpUntil([&] { return !h.host->IsBusy(); }));
  UnZipRun run = CollectRun(h, callbackId);
  run.folder = folder;
  return run;
}

nlohmann::json Payload(const std::string& cbid, uint64_t done, const std::string& jsp,
                       const std::string& message, uint32_t result, uint64_t todo) {
  return {{"cbid", cbid}, {"done", done},     {"jsp", jsp},  {"message", message},
          {"name", ""},   {"result", result}, {"todo", todo}};
}

CapturedLog::CapturedLog() {
  Logger::ResetForTesting();
  // Elevated (every process is, under Wine) the logger would ignore VLM_LOG_DIR.
  ScopedElevation notElevated(false);
  ScopedEnvironmentVariable dir("VLM_LOG_DIR", PathToUtf8(folder_.path()));
  ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
  EXPECT_TRUE(Logger::Initialize("", "Quillfetch"));
}

CapturedLog::~CapturedLog() {
  Logger::ResetForTesting();
}

std::vector<std::string> CapturedLog::Messages(const std::string& category) const {
  std::vector<std::string> messages;
  for (const LogEntry& e : Logger::GetRecentEntries(1000, true)) {
    if (e.category == category) messages.push_back(e.message);
  }
  return messages;
}
