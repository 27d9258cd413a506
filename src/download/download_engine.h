#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes_check.h"
#include "base/clock.h"
#include "base/hresult.h"
#include "bridge/callback_payload.h"
#include "bridge/page_worker.h"
#include "download/transfer_job.h"
#include "download/transfer_kind.h"
#include "trust/release_manifest.h"
#include "trust/streamed_signature_check.h"
#include "trust/verified_archive.h"

// Carries one download from start to end on a worker thread of its own.
//
// The engine is the CallbackPayload the page receives: RunDirectTransfer copies the direct
// transfer's figures into done/todo, the background job's polling loop writes them as it polls,
// and both report them through onProgress; Finish fills result/message and completes exactly
// once per Run. Its lifecycle is the PageWorker one (bridge/page_worker.h): one start,
// cancelRequested in, running out, running cleared after the completion.
// Ownership: the host and the worker share it (std::shared_ptr), so an engine replaced by a
// newer download lives until its worker returns. Other threads touch only cancelRequested and
// running; everything else belongs to the worker while `running` is set.
//
// Pauses go through the injected Clock (cut short by cancelRequested), and background jobs come
// from the injected factory, so tests can script both.
class DownloadEngine : public CallbackPayload,
                       public PageWorker,
                       public std::enable_shared_from_this<DownloadEngine> {
 public:
  explicit DownloadEngine(Clock& clock = SystemClock(),
                          TransferJobManagerFactory jobs = PlatformTransferJobManagerFactory());

  DownloadEngine(const DownloadEngine&) = delete;
  DownloadEngine& operator=(const DownloadEngine&) = delete;

  // Resets the payload, stores the request and starts a detached worker that shares ownership
  // of the engine (which must be owned by a std::shared_ptr). False, with nothing else done,
  // when the engine was started before. A thread that cannot start raises std::system_error.
  bool StartDownload(const std::u16string& downloadUrl, const std::filesystem::path& destination,
                     const std::string& callbackId);

  // The worker body: COM, destination folder, the transfer ChooseTransferKind names, Finish.
  void Run();
  // Enters the worker's COM apartment where there is one; success on Linux.
  HResult InitCom();
  // Ends every download exactly once: integrity check, completion sent, running cleared (in
  // that order, so a closing window waits for the completion).
  void Finish();

  // The background job and its polling loop; calls Finish on every path.
  void RunBackgroundJob();
  // The direct transfer of url into destPath (download/direct_transfer.h), its progress and
  // figures copied into the payload; a failure sets result. Finish is the caller's.
  void RunDirectTransfer();

  std::u16string url;
  std::filesystem::path destPath;
  bool comInitialized = false;

  // Optional integrity figures from the page; checked after a successful transfer.
  std::optional<uint64_t> expectedSize;
  std::string expectedSha256;  // hex, any case; empty = not checked
  // Where a transfer that stops keeps its bytes, and takes those kept by an earlier one for the
  // same archive (download/kept_downloads.h): the direct transfer and a background job that
  // writes the file itself (Linux); empty keeps nothing. With `resume` false,
  // what is kept for this archive is dropped and the transfer starts from the first byte.
  std::filesystem::path keptDownloadsFolder;
  bool resume = true;
  // Connections a direct transfer may open at once for a large file (1 to 16).
  uint32_t connections = 1;
  // Signed archives (trust/archive_signature.h). With `archiveKey` (a DER P-256 public key)
  // a transfer counts only when `signature` (base64 of the DER signature), or else the text
  // fetched from `signatureUrl`, verifies the archive; any other outcome removes the archive and
  // ends with page_result::kNoSignature or kBadSignature (one that does not verify). Without a key
  // neither is looked at. The signature may be a release manifest (trust/release_manifest.h): then
  // `wantedRelease` decides, failing with kOtherRelease (another product, or a bare signature
  // where a release is asked for) or kOlderRelease (an older version).
  std::vector<uint8_t> archiveKey;
  std::optional<std::string> signature;
  std::u16string signatureUrl;
  ReleaseWanted wantedRelease;
  // Set by Run for a download with a key and a signature to check: the transfers hand it each
  // block they write, so the archive is hashed while it arrives. Reset by Finish.
  std::unique_ptr<StreamedSignatureCheck> arrivingArchiveCheck;
  // Filled by the worker once the archive verified, before the completion is posted. Shared
  // with the host, which keeps the latest download's record for the extraction to ask.
  const std::shared_ptr<VerifiedArchive> verifiedArchive = std::make_shared<VerifiedArchive>();

  // verifiedArchive->Is(des) and ->SameBytesCheck(), for this engine's own tests.
  bool VerifiedArchiveIs(const std::string& des) const { return verifiedArchive->Is(des); }
  std::unique_ptr<BytesCheck> VerifiedBytesCheck() const {
    return verifiedArchive->SameBytesCheck();
  }

  // Set by the action when the request cannot be served (a bad archive name, a malformed size
  // or SHA-256): Run then ends at once with page_result::kInvalidParameter and this text as the
  // message.
  std::string rejectedBecause;

 private:
  void ReportProgress();
  // For a download that failed with a full disk: the archive's size and the space left in its
  // folder as the message, when both are known.
  void DescribeFullDisk();
  void LeaveCom();
  // Turns a successful transfer into kHashMismatch/kSizeMismatch when the file does not match.
  void VerifyIntegrity();
  // With a key: turns a successful transfer into kNoSignature/kBadSignature unless its signature
  // verifies.
  void VerifySignature();
  // The text at signatureUrl through a direct transfer of its own into "<archive>.sig", or
  // nullopt with the reason in `why`. Leaves the payload as it was.
  std::optional<std::string> FetchSignature(std::string& why);

  Clock& clock_;
  TransferJobManagerFactory jobs_;
  Clock::TimePoint startTime_{};
};

// True for a name that stays inside the folder it is joined to: not empty, not "." or "..",
// and free of path separators, drive colons and NUL.
bool IsPlainFileName(const std::string& name);

// {"des":<destPath, forward slashes>,"url":<url>} written compactly.
std::string DownloadResultJson(const std::u16string& url, const std::filesystem::path& destPath);
