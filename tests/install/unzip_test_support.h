#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/utf8_path.h"
#include "install/zip_builder.h"
#include "support/test_environment.h"

// Drives doUnZip through a HostHarness and collects what the page received for one request.
struct UnZipRun {
  std::vector<nlohmann::json> progress;  // payloads of onActionProgress, in order
  nlohmann::json completion;             // the one onActionComplete payload (null if none)
  std::filesystem::path folder;          // the working folder the request was given
};

// Posts doUnZip for `archive` with `callbackId`, waits for its completion and returns it.
UnZipRun RunUnZip(HostHarness& h, const std::filesystem::path& archive,
                  const std::string& callbackId = "u1");

// The page's payloads for `callbackId` among everything received so far.
UnZipRun CollectRun(HostHarness& h, const std::string& callbackId);

// Posts doUnZip without waiting.
void PostUnZip(HostHarness& h, const std::filesystem::path& archive, const std::string& callbackId);

// The payload the page receives, as an object to compare against.
nlohmann::json Payload(const std::string& cbid, uint64_t done, const std::string& jsp,
                       const std::string& message, uint32_t result, uint64_t todo);

// The log of a test, at DEBUG, in a folder of its own; each line read back as its message.
class CapturedLog {
 public:
  CapturedLog();
  ~CapturedLog();
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // The messages logged so far under `category`, oldest first.
  std::vector<std::string> Messages(const std::string& category) const;

 private:
  TemporaryFolder folder_;
};

// doUnZip through a host with fakes at its seams, on archives written into a working folder
// of the host's, as a download leaves them.
class UnZipActionTest : public ::testing::Test {
 protected:
  UnZipActionTest() {
    std::filesystem::create_directories(downloads);
    h.host->WorkingFolders().push_back(PathToUtf8(downloads));
  }

  std::filesystem::path Archive(const std::vector<ZipTestEntry>& entries,
                                const std::string& name = "p.zip") {
    const std::filesystem::path path = downloads / name;
    WriteZip(path, entries);
    return path;
  }

  HostHarness h;
  const std::filesystem::path downloads = h.temp.path() / "{download}";
};
