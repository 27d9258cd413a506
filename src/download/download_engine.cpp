#include "download/download_engine.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#include "base/free_space.h"
#include "base/hex_string.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "base/working_folder.h"
#include "download/direct_transfer.h"
#include "download/download_results.h"
#include "download/file_errors.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {
constexpr char kCategory[] = "Engine.Download";
}  // namespace

DownloadEngine::DownloadEngine(Clock& clock, TransferJobManagerFactory jobs)
    : clock_(clock), jobs_(std::move(jobs)) {}

bool DownloadEngine::StartDownload(const std::u16string& downloadUrl, const fs::path& destination,
                                   const std::string& callbackId) {
  // Taken first: an engine not owned by a shared_ptr fails here, before anything changes.
  std::shared_ptr<DownloadEngine> self = shared_from_this();
  // Ownership is settled before any field changes: a worker that already owns this engine
  // must not see its payload rewritten or its cancel withdrawn.
  if (!ClaimStart()) return false;
  cbid = callbackId;
  jsp = "onDownloadProgress";
  name = "UtlDwldFile";
  message.clear();
  result = 0;
  done = 0;
  todo = 0;
  continuesFrom = 0;
  kept = 0;
  url = downloadUrl;
  destPath = destination;
  Logger::Log(LogLevel::Debug, kCategory,
              "StartDownload url=" + Utf16ToUtf8(url) + ", dest=" + GenericPathToUtf8(destPath));
  cancelRequested.exchange(false);
  RunDetached(self, [this] { Run(); });
  return true;
}

void DownloadEngine::Run() {
  if (!rejectedBecause.empty()) {
    result = page_result::kInvalidParameter;
    message = rejectedBecause;
    Logger::Log(LogLevel::Error, kCategory, message);
    Finish();
    return;
  }
  const HResult com = InitCom();
  if (Failed(com)) {
    result = LowWord(com);
    message = download_text::kComFailed + ToHexString(static_cast<uint32_t>(com));
    Finish();
    return;
  }

  // No report is defined for a folder that cannot be made; ending here with the error beats
  // letting the transfer fail later with a less telling code.
  std::error_code ec;
  const fs::path folder = destPath.parent_path();
  if (!folder.empty()) CreateWorkingFolders(folder, folder, ec);
  if (ec) {
    result = Win32ErrorFromFileError(ec);
    message =
        "Failed to create the download folder " + NativePathToUtf8(folder) + ": " + ec.message();
    Logger::Log(LogLevel::Error, kCategory, message);
    Finish();
    return;
  }

  if (!archiveKey.empty() && (signature || !signatureUrl.empty())) {
    arrivingArchiveCheck = StreamedSignatureCheck::Start();
  }
  startTime_ = clock_.Now();
  switch (ChooseTransferKind(url)) {
    case TransferKind::kDirect:
      RunDirectTransfer();
      Finish();
      break;
    case TransferKind::kBackgroundJob:
      RunBackgroundJob();
      break;
  }
}

void DownloadEngine::RunDirectTransfer() {
  DirectTransferRequest request;
  request.url = url;
  request.destination = destPath;
  if (arrivingArchiveCheck) request.watchers.push_back(arrivingArchiveCheck.get());
  request.cancel = &cancelRequested;
  request.onProgress = [this](const TransferFigures& figures) {
    done = figures.done;
    todo = figures.todo;
    continuesFrom = figures.from;
    ReportProgress();
  };
  request.clock = &clock_;
  request.connections = connections;
  std::optional<KeptDownloads> store;
  if (!keptDownloadsFolder.empty()) {
    store.emplace(keptDownloadsFolder);
    request.kept = &*store;
    request.keptKey = KeptDownloads::KeyFor(url, expectedSize, expectedSha256);
    if (!resume) store->Forget(request.keptKey);
  }
  const TransferResult transfer = ::RunDirectTransfer(request);
  done = transfer.figures.done;
  todo = transfer.figures.todo;
  kept = transfer.figures.kept;
  if (Failed(transfer.code)) {
    result = PageResultOf(transfer.code);
    message = transfer.message;
  }
}

void DownloadEngine::Finish() {
  // `running` clears last: a doClose that finds the engine idle destroys the window, and a
  // completion posted after that would never reach the page.
  if (result == 0) VerifyIntegrity();
  if (result == 0 && !archiveKey.empty()) VerifySignature();
  arrivingArchiveCheck.reset();
  if (result == page_result::kDiskFull) DescribeFullDisk();
  // One text for either transfer: it tells the user what to do about it.
  if (result == page_result::kWebPageInsteadOfArchive) {
    message = download_text::kWebPageInsteadOfArchive;
  }
  if (result == page_result::kProxyCredentialsWanted) {
    message = download_text::kProxyCredentialsWanted;
  }
  if (comInitialized) LeaveCom();
  if (onComplete && result == 0) message = DownloadResultJson(url, destPath);
  Complete(*this);
}

// A full disk is the one failure the user can mend on the spot; the page says how much to free,
// and where, from these figures. The archive's partial bytes are gone by now, so what is
// available is what the user has to work with.
void DownloadEngine::DescribeFullDisk() {
  const fs::path folder = destPath.parent_path();
  const std::optional<uint64_t> available = AvailableSpace(folder);
  if (todo == 0 || todo == kUnknownSize || !available) return;
  message = "Not enough disk space to download: " + std::to_string(todo) + " bytes needed, " +
            std::to_string(*available) + " bytes available in " + NativePathToUtf8(folder);
  Logger::Log(LogLevel::Error, kCategory, message);
}

void DownloadEngine::ReportProgress() {
  if (onProgress) onProgress(*this);
}

std::string DownloadResultJson(const std::u16string& url, const fs::path& destPath) {
  nlohmann::json answer;
  answer["url"] = Utf16ToUtf8(url);
  answer["des"] = SanitizeUtf8(GenericPathToUtf8(destPath));
  return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\:") == std::string::npos && name.find('\0') == std::string::npos;
}
