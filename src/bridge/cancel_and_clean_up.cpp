#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "app/setup_web_view.h"
#include "base/detached_thread.h"
#include "base/utf8_path.h"
#include "bridge/page_callbacks.h"
#include "download/download_engine.h"
#include "install/zip_engine.h"
#include "log/logger.h"

namespace fs = std::filesystem;

void SetupWebView::DoCancel(const std::string& callbackId) {
  if (m_downloadEngine) m_downloadEngine->cancelRequested.exchange(true);
  if (m_zipEngine) m_zipEngine->cancelRequested.exchange(true);
  if (!callbackId.empty()) {
    CallbackPayload answer;
    answer.cbid = callbackId;
    PostActionComplete(answer);
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
template <typename Engine>
void WaitForWindDown(const std::shared_ptr<Engine>& engine,
                     std::chrono::steady_clock::time_point until) {
  while (engine && engine->running.load() && engine->cancelRequested.load() &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

void SetupWebView::DoCleanUp(const std::string& callbackId) {
  if (m_cleaningUp.exchange(true)) return;  // one clean-up at a time; this request is dropped
  try {
    // The thread walks its own copy: the window thread may append while it runs. It holds the
    // engines so that a replacement cannot free them while it waits.
    StartDetachedThread([this, callbackId, dirs = m_tempDirs, download = m_downloadEngine,
                         zip = m_zipEngine]() mutable {
      const auto until = std::chrono::steady_clock::now() + kWindDownLimit;
      WaitForWindDown(download, until);
      WaitForWindDown(zip, until);
      CleanUpWorker(callbackId, std::move(dirs));
      m_cleaningUp.exchange(false);
    });
  } catch (const std::system_error& e) {
    m_cleaningUp.exchange(false);
    Logger::Log(LogLevel::Warn, "engine",
                std::string("Clean-up thread failed to start: ") + e.what());
  }
}

namespace {

// Removes one file or emptied folder. A read-only file (an attribute that forbids deletion on
// Windows, and one that extracted archives often carry) is made writable and tried again; a
// symbolic link is never followed.
void RemoveEntry(const fs::path& path) {
  std::error_code removeError;
  if (fs::remove(path, removeError) || !removeError) return;
  std::error_code retryError;
  if (!fs::is_symlink(fs::symlink_status(path, retryError)) && !retryError) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, retryError);
    if (!retryError && fs::remove(path, retryError)) return;
  }
  Logger::Log(LogLevel::Warn, "engine",
              "Clean-up skipped " + PathToUtf8(path) + ": " + removeError.message());
}

// Removes `dir` and everything below it. A file or folder that cannot be examined or removed
// is skipped with a WARN line and the walk goes on.
void RemoveTree(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (!ec) return;
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
  ec.clear();
  // remove_all stops at the first failure. Folders without write permission are made writable
  // (their contents count as the user's working files), then what is left goes one entry at a
  // time.
  std::vector<fs::path> leftovers;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    if (it->is_directory(statusError) && !it->is_symlink(statusError)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, statusError);
    }
    leftovers.push_back(it->path());
  }
  for (auto it = leftovers.rbegin(); it != leftovers.rend(); ++it) RemoveEntry(*it);
  RemoveEntry(dir);
}

}  // namespace

void SetupWebView::CleanUpWorker(const std::string& callbackId, std::vector<std::string> dirs) {
  nlohmann::json removed = nlohmann::json::array();
  for (const std::string& dir : dirs) {
    removed.push_back(dir);
    std::error_code ec;
    const fs::path path = PathFromUtf8(dir);
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec) {
      if (ec != std::errc::no_such_file_or_directory) {
        Logger::Log(LogLevel::Warn, "engine", "Clean-up skipped " + dir + ": " + ec.message());
      }
      continue;
    }
    if (fs::is_directory(status)) RemoveTree(path);
  }
  if (!callbackId.empty()) {
    CallbackPayload answer;
    answer.cbid = callbackId;
    answer.message = removed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    PostActionComplete(answer);
  }
}
