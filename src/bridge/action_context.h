#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

class PageResponder;
class PageWorker;
class VerifiedArchive;
class VerifiedExtraction;

// What the setup programs that doLaunchSetup started in this run said by their exit codes. The
// product may be opened only after one succeeded, and the system restarted only after one
// asked for it, once.
struct SetupOutcomes {
  bool succeeded = false;         // one exited with 0, 3010 or 1641
  bool restartWanted = false;     // one exited with 3010 or 1641
  bool restartRequested = false;  // doRestartSystem has asked the system once
};

// What the page's action handlers may reach of the host that received the message: its
// responder and the small state the actions share. The host (SetupWebView) implements it; the
// handlers of every subsystem see only this.
//
// Threading: window thread only, except where a member says otherwise. Workers never receive
// the context; they get what they need (the shared responder, their engine) when they start.
class ActionContext {
 public:
  virtual ~ActionContext() = default;

  // The host's responder, shared so that workers may keep it past the host's end (it then
  // drops their answers).
  virtual const std::shared_ptr<PageResponder>& Responder() = 0;

  // The UI folder the page is served from.
  virtual const std::filesystem::path& UiFolder() const = 0;

  // Working folders of downloads and extractions, UTF-8, forward slashes, in creation order.
  virtual std::vector<std::string>& WorkingFolders() = 0;

  // The latest download and extraction (null before the first). A replaced engine lives on
  // with its worker until that returns.
  virtual std::shared_ptr<PageWorker>& DownloadWorker() = 0;
  virtual std::shared_ptr<PageWorker>& ZipWorker() = 0;

  // What this run's latest download verified (trust/verified_archive.h); null before the first
  // download. Each download gets a record of its own, filled by its worker.
  virtual std::shared_ptr<const VerifiedArchive>& LatestVerifiedArchive() = 0;
  // Extractions of archives this run's downloads verified, in start order. A setup program may
  // start only from one of those that ended with 0.
  virtual std::vector<std::shared_ptr<const VerifiedExtraction>>& VerifiedExtractions() = 0;

  // What this run's setups said (window thread only).
  virtual SetupOutcomes& Setups() = 0;

  // The bytes of `name` (a path below the UI folder, "/" between names) as the page is shown
  // them: with a key built in, only while the folder verifies against its signed manifest and
  // the file is listed there with those bytes; without one, the file as it is. nullopt, with the
  // reason in `why`, otherwise. The host reads what the vendor configured (config.json) through
  // this, never from a message.
  virtual std::optional<std::string> ReadPageFile(const std::string& name, std::string& why) = 0;

  // Set once by the first doClose; any thread may read it.
  virtual std::atomic<bool>& Closing() = 0;
  // Set while a clean-up runs. Shared with the clean-up thread, which clears it when it ends,
  // even after the host is gone.
  virtual const std::shared_ptr<std::atomic<bool>>& CleaningUp() = 0;

  // The one JSON value doDataExchange keeps across page loads; null until stored.
  virtual std::unique_ptr<nlohmann::json>& ExchangeData() = 0;

  // True once the web view is ready.
  virtual bool HasWebView() const = 0;
  // Hides the main window (while a setup program runs); the next completion shows it again.
  virtual void HideWindow() = 0;

  // True while a download, an extraction or a clean-up runs.
  virtual bool IsBusy() const = 0;
};
