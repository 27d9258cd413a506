#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/file_write_watcher.h"
#include "base/hresult.h"

class KeptDownloads;

// The background transfer service as the job polling loop sees it: a manager that creates
// named download jobs, and jobs that move one remote file to one local path on their own,
// reporting a state, progress and, after a failure, an error object. On Windows the operating
// system's transfer service plays this role; on Linux a libcurl job does (transfer_job_curl.h).
//
// A job promises: it starts suspended and runs only after Resume; the file exists at its
// destination only after Complete on a transferred job; Cancel stops it and removes what it
// wrote. Every call is cheap and may be made from the thread that created the job only.

// The service's job states, numbered as the loop and the page's logs know them.
enum class TransferJobState : uint32_t {
  kQueued = 0,
  kConnecting = 1,
  kTransferring = 2,
  kSuspended = 3,
  kError = 4,
  kTransientError = 5,
  kTransferred = 6,
  kAcknowledged = 7,
  kCancelled = 8,
};

// bytesTotal is kUnknownSize until the size is known.
inline constexpr uint64_t kUnknownSize = ~uint64_t{0};

struct TransferJobProgress {
  uint64_t bytesTotal = 0;
  uint64_t bytesTransferred = 0;
  uint32_t filesTotal = 0;
  uint32_t filesTransferred = 0;
};

// What a failed job says about its failure. Either part may be missing.
struct TransferJobError {
  std::optional<HResult> code;
  std::optional<std::string> description;  // UTF-8
};

class TransferJob {
 public:
  virtual ~TransferJob() = default;

  // Before AddFile: the job connects directly, whatever the system's proxy settings say.
  virtual HResult SetNoProxy() = 0;
  // After the job could not connect directly: from its next Resume on, it goes through the
  // proxy the system names for its URL (the service's preconfigured one on Windows). S_FALSE
  // (1), with `proxy` empty, when the system names none; then nothing changes. `proxy` gets the
  // proxy's name for the log.
  virtual HResult UseSystemProxy(std::string& proxy) = 0;
  virtual HResult AddFile(const std::u16string& remoteUrl, const std::filesystem::path& local) = 0;
  // `headers`: lines each ended by CR LF.
  virtual HResult SetCustomHeaders(const std::string& headers) = 0;
  // Starts the job, or starts it again after an error, continuing where it stopped.
  virtual HResult Resume() = 0;
  // The state as a raw number: a service may report values outside TransferJobState.
  virtual HResult GetState(uint32_t& state) = 0;
  virtual HResult GetProgress(TransferJobProgress& progress) = 0;
  // The error object of a job in an error state; nullopt when the job has none.
  virtual std::optional<TransferJobError> GetError() = 0;
  virtual HResult Cancel() = 0;
  // Places the transferred file at its local name.
  virtual HResult Complete() = 0;
  // A job that writes the file itself tells `watcher` of each piece as it writes it, from its
  // own thread, until it is cancelled or completes; the platform's service hands the file over
  // only at the end and tells no one. `watcher` must outlive the job's transfer.
  virtual void WatchWrites(FileWriteWatcher* /*watcher*/) {}
  // True for a job whose requests go through the program's own HTTP session, which takes the
  // proxies itself as net/proxy_route.h decides; SetNoProxy and UseSystemProxy then change
  // nothing, and the caller leaves the route to the job.
  virtual bool RoutesItself() const { return false; }
  // Before the first Resume, for a job that writes the file itself: it begins with the bytes
  // `store` keeps under `key`, if any (asking for the rest with If-Range), and when cancelled or
  // destroyed before Complete it keeps its bytes there instead of removing them, as the direct
  // transfer does (download/kept_downloads.h). `store` must outlive the job. The platform's
  // service keeps its own partial file and ignores this.
  virtual void KeepBytesIn(KeptDownloads* /*store*/, const std::string& /*key*/) {}
};

class TransferJobManager {
 public:
  virtual ~TransferJobManager() = default;
  virtual HResult CreateJob(const std::string& displayName, std::unique_ptr<TransferJob>& job) = 0;
};

// Connects to the service. A failure code leaves `manager` empty.
using TransferJobManagerFactory =
    std::function<HResult(std::unique_ptr<TransferJobManager>& manager)>;

// The platform's service (the libcurl job on Linux).
TransferJobManagerFactory PlatformTransferJobManagerFactory();
