#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes_check.h"
#include "bridge/callback_payload.h"
#include "bridge/page_worker.h"
#include "install/output_file.h"
#include "install/zip_reader.h"
#include "trust/verified_archive.h"

// Extracts one archive into one folder on a detached worker thread, reporting byte progress
// ("onUnZipProgress") and one completion through its callback slots, then deletes the archive.
// Its lifecycle is the PageWorker one (bridge/page_worker.h).
//
// Ownership: always held by std::shared_ptr. The worker keeps the engine alive until it ends,
// so a request that replaces the engine (after setting its cancelRequested) can never pull the
// record, the counters or the flags from under the old worker. Everything one run touches is
// reached from the engine itself; there is no process-wide state.
//
// With an archiveCheck (the archive verified by this run's download), the archive is read through
// one open file and every byte of it goes to the check while the entries are extracted
// (install/zip_reader.h). When the check refuses the bytes, everything this run wrote is removed
// again and the run ends with page_result::kBadSignature; when the run ended with 0,
// checkedAndComplete is set before the completion is delivered.
//
// Threading: Start, construction and destruction on the window thread; Run, Finish and the sink
// on the worker. cancelRequested is the one signal in, running and checkedAndComplete the
// signals out.
// An engine runs once; a second Start (running or not) is refused.
class ZipEngine : public PageWorker,
                  public VerifiedExtraction,
                  public std::enable_shared_from_this<ZipEngine> {
 public:
  // A run ends with page_result::kSuccess, kFileNotFound (not a ZIP archive, or unreadable),
  // kDiskFull (the entries do not fit the volume), kCancelled (an entry stopped on cancel),
  // kEntryFailed (an entry failed by itself) or kBadSignature (the archive's bytes are not the
  // ones that verified).
  static constexpr char kProgressRoute[] = "onUnZipProgress";
  static constexpr char kUnreadableMessage[] = "Error reading file, can not extract installation";
  static constexpr char kCancellingMessage[] = "Cancelling, please wait...";
  static constexpr char kEntryFailedTemplate[] = "Failed to create {}";
  static constexpr char kNotPreparedMessage[] = "Files not prepared";
  static constexpr char kArchiveChangedMessage[] =
      "The archive changed after it was verified and is not extracted: ";

  using SpaceQuery = std::optional<uint64_t> (*)(const std::filesystem::path&);

  ZipEngine();
  // Sets cancelRequested; never waits (a worker holds its own reference).
  ~ZipEngine() override;

  // Starts the worker for `source` (UTF-8 archive path) into `destination` (not yet created).
  // False when this engine was already started; nothing is sent then.
  bool Start(const std::string& source, const std::string& destination,
             const std::string& callbackId);
  // The worker's body; ends with Finish.
  void Run();
  // Deletes the archive, delivers the completion and clears running.
  void Finish();

  std::string sourcePath;
  std::string destinationPath;
  std::atomic<bool> removeArchiveWhenDone{true};
  CallbackPayload report;
  // How much the target volume can take; replaceable so that the full-volume path is testable.
  SpaceQuery spaceQuery;
  // Set before Start, taken by the worker; null for an archive that is not checked.
  std::unique_ptr<BytesCheck> archiveCheck;
  // Set by the worker before the completion: the run extracted every entry with 0 from an
  // archive whose check accepted it.
  std::atomic<bool> checkedAndComplete{false};

  // VerifiedExtraction: destinationPath and checkedAndComplete.
  const std::string& Folder() const override { return destinationPath; }
  bool CheckedAndComplete() const override { return checkedAndComplete.load(); }

 private:
  // A link entry waits until every other entry is written.
  struct PendingLink {
    uint64_t index;
    ZipEntryInfo entry;
    std::string key;
    std::filesystem::path path;
  };

  // Each: false when the entry failed (the report has then been sent).
  bool ExtractEntry(ZipReader& reader, uint64_t index, const ZipEntryInfo& entry,
                    const std::filesystem::path& target, uint64_t& runWritten);
  bool ExtractLink(ZipReader& reader, const PendingLink& link, const std::filesystem::path& folder);
  bool ExtractFile(ZipReader& reader, uint64_t index, const ZipEntryInfo& entry,
                   const std::filesystem::path& target, uint64_t& runWritten);
  void ReportFailedEntry(const std::string& storedName, const std::string& reason);
  // Removes every file, link and folder this run made below `folder`, and the folder when it is
  // then empty. Never recursive: whatever someone else put there, or links to, stays.
  void RemoveWritten(const std::filesystem::path& folder);

  bool checked_ = false;  // the run had an archive check
  // An entry failed and stopped the rest of the run: its result stands, nobody cancelled.
  bool stoppedByFailure_ = false;
  // Every path this run made or began to make below the destination, in the order it did.
  std::vector<std::filesystem::path> written_;
};

// The reader's write callback for one file entry: writes each chunk unless the engine's cancel
// is set, and reports progress after the first chunk of the run and then after each step of at
// least one whole percent of the run's total bytes, naming the entry.
struct EntrySink final : ZipChunkSink {
  EntrySink(ZipEngine& engine, OutputFile& file, std::string entryName, uint64_t* runWritten,
            uint64_t runTotal)
      : engine(engine),
        file(file),
        entryName(std::move(entryName)),
        runWritten(runWritten),
        runTotal(runTotal) {}

  // Returns `length` to go on, or 0 (cancelled, or the write failed) to fail the entry.
  size_t Write(uint64_t offset, const void* data, size_t length) override;

  ZipEngine& engine;
  OutputFile& file;
  std::string entryName;
  uint64_t* runWritten;
  uint64_t runTotal;
  bool writeFailed = false;
};
