#include <memory>

#include "app/setup_web_view.h"
#include "base/utf_convert.h"
#include "base/working_folder.h"
#include "bridge/page_callbacks.h"
#include "download/download_engine.h"
#include "log/logger.h"

void SetupWebView::DoDownload(nlohmann::json message) {
  // Every read comes first: a malformed message raises its JSON type error to the dispatcher
  // before any state changes.
  nlohmann::json& config = message["fetchDownloadConfig"];
  const std::string url = config.value("url", std::string());
  const std::string archiveName = config.value("archive_name", std::string());
  std::optional<uint64_t> expectedSize;
  if (config.contains("size")) expectedSize = config["size"].get<uint64_t>();
  const std::string expectedSha256 = config.value("sha256", std::string());
  const std::string callbackId = message.value("callbackId", std::string());

  const std::filesystem::path folder = NewWorkingFolderPath();
  m_tempDirs.push_back(folder.generic_string());
  // The name comes from the page; joined as it is, "../x" or "/x" would put the archive
  // outside the working folder.
  const bool plainName = IsPlainFileName(archiveName);
  const std::filesystem::path destPath = folder / (plainName ? archiveName : std::string());

  if (m_downloadEngine) m_downloadEngine->cancelRequested.exchange(true);
  auto engine = std::make_shared<DownloadEngine>();
  engine->onProgress = PostActionProgress;
  engine->onComplete = PostActionComplete;
  engine->expectedSize = expectedSize;
  engine->expectedSha256 = expectedSha256;
  if (!plainName) engine->rejectedBecause = "Invalid archive name: " + archiveName;
  m_downloadEngine = engine;

  Logger::Log(LogLevel::Debug, "download",
              "Download requested url=" + url + ", file=" + archiveName);
  engine->StartDownload(Utf8ToUtf16(url), destPath, callbackId);
}
