#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "base/detached_thread.h"
#include "base/tree_removal.h"
#include "base/utf8_path.h"
#include "bridge/action_context.h"
#include "bridge/bridge_actions.h"
#include "bridge/page_responder.h"
#include "bridge/page_worker.h"
#include "log/logger.h"

namespace fs = std::filesystem;

void CancelWorkers(ActionContext& context, const std::string& callbackId) {
  if (context.DownloadWorker()) context.DownloadWorker()->cancelRequested.exchange(true);
  if (context.ZipWorker()) context.ZipWorker()->cancelRequested.exchange(true);
  if (!callbackId.empty()) {
    CallbackPayload answer;
    answer.cbid = callbackId;
    context.Responder()->Complete(answer);
  }
}

namespace {

// How long a clean-up waits for cancelled engines to wind down before it removes their folders
// anyway.
constexpr std::chrono::seconds kWindDownLimit(30);

// A cancelled extraction still walks its remaining entries (creating them empty), and a
// cancelled download may still be writing its partial file. Removing their folders before they
// stop would let them recreate parts of the tree behind the clean-up, so wait for them first.
// Engines that run without a cancel request are not waited for.
void WaitForWindDown(const std::shared_ptr<PageWorker>& engine,
                     std::chrono::steady_clock::time_point until) {
  while (engine && engine->running.load() && engine->cancelRequested.load() &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Removes `dirs`, then answers `callbackId` (when not empty) with the list of them.
void RemoveWorkingFolders(PageResponder& responder, const std::string& callbackId,
                          const std::vector<std::string>& dirs) {
  nlohmann::json removed = nlohmann::json::array();
  // Never through a link: on Windows this runs elevated, and a junction planted in a working
  // folder would lead a plain walk into any folder of the system.
  const RemovalSkipped skipped = [](const fs::path& path, const std::string& why) {
    Logger::Log(LogLevel::Warn, "engine", "Clean-up skipped " + PathToUtf8(path) + ": " + why);
  };
  for (const std::string& dir : dirs) {
    removed.push_back(dir);
    RemoveFolderTree(PathFromUtf8(dir), skipped);
  }
  if (!callbackId.empty()) {
    CallbackPayload answer;
    answer.cbid = callbackId;
    answer.message = removed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    responder.Complete(answer);
  }
}

}  // namespace

void StartCleanUp(ActionContext& context, const std::string& callbackId) {
  const std::shared_ptr<std::atomic<bool>> cleaningUp = context.CleaningUp();
  if (cleaningUp->exchange(true)) return;  // one clean-up at a time; this request is dropped
  try {
    // The thread walks its own copy (the window thread may append while it runs) and holds
    // everything it touches: the engines, so that a replacement cannot free them while it
    // waits, the responder and the flag, which may outlive the host.
    StartDetachedThread([callbackId, cleaningUp, dirs = context.WorkingFolders(),
                         responder = context.Responder(), download = context.DownloadWorker(),
                         zip = context.ZipWorker()] {
      const auto until = std::chrono::steady_clock::now() + kWindDownLimit;
      WaitForWindDown(download, until);
      WaitForWindDown(zip, until);
      RemoveWorkingFolders(*responder, callbackId, dirs);
      cleaningUp->exchange(false);
    });
  } catch (const std::system_error& e) {
    cleaningUp->exchange(false);
    Logger::Log(LogLevel::Warn, "engine",
                std::string("Clean-up thread failed to start: ") + e.what());
  }
}
