#include "install/zip_engine.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/free_space.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "base/working_folder.h"
#include "bridge/page_callbacks.h"
#include "install/entry_link.h"
#include "install/entry_rules.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

constexpr char kCategory[] = "Engine.Zip";

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// Collects a link entry's data, its target, up to a length no system would resolve.
struct LinkTargetSink final : ZipChunkSink {
  static constexpr size_t kLongest = 4096;
  size_t Write(uint64_t, const void* data, size_t length) override {
    if (target.size() + length > kLongest) {
      tooLong = true;
      return 0;
    }
    target.append(static_cast<const char*>(data), length);
    return length;
  }
  std::string target;
  bool tooLong = false;
};

}  // namespace

ZipEngine::ZipEngine() : spaceQuery(&AvailableSpace) {}

ZipEngine::~ZipEngine() {
  cancelRequested.exchange(true);
}

bool ZipEngine::Start(const std::string& source, const std::string& destination,
                      const std::string& callbackId) {
  // Checked before anything is written: a running worker reads these fields.
  if (!ClaimStart()) return false;
  sourcePath = source;
  destinationPath = destination;
  cancelRequested.exchange(false);
  report.cbid = callbackId;
  report.jsp = kProgressRoute;
  report.message.clear();
  report.result = page_result::kSuccess;
  report.done = 0;
  report.todo = 0;
  RunDetached(shared_from_this(), [this] { Run(); });
  return true;
}

void ZipEngine::Run() {
  try {
    checked_ = archiveCheck != nullptr;
    std::string cause;
    std::unique_ptr<ZipReader> reader =
        ZipReader::Open(sourcePath, std::move(archiveCheck), &cause);
    if (!reader) {
      // The page hears only that the archive is unreadable; the vendor needs the reason.
      Logger::Log(LogLevel::Error, kCategory,
                  SanitizeUtf8("Archive not opened: " + sourcePath + ": " + cause));
      report.message = kUnreadableMessage;
      report.result = page_result::kFileNotFound;
      Finish();
      return;
    }
    const uint64_t count = reader->EntryCount();
    uint64_t total = 0;
    for (uint64_t i = 0; i < count; ++i) {
      ZipEntryInfo entry;
      if (reader->Stat(i, entry) && !entry.isDirectory) total = SaturatingAdd(total, entry.size);
    }
    report.todo = total;
    Logger::Log(LogLevel::Info, kCategory,
                "Unzip starting: src=" + sourcePath + ", dest=" + destinationPath +
                    ", files=" + std::to_string(count));

    const fs::path folder = PathFromUtf8(destinationPath);
    if (total > 0 && spaceQuery != nullptr) {
      const std::optional<uint64_t> available = spaceQuery(folder);
      if (available && *available < total) {
        report.result = page_result::kDiskFull;
        report.message = "Not enough disk space to extract: " + std::to_string(total) +
                         " bytes needed, " + std::to_string(*available) + " bytes available";
        Logger::Log(LogLevel::Error, kCategory, report.message);
        reader.reset();  // Windows cannot delete the archive while it is open
        Finish();
        return;
      }
    }

    uint64_t runWritten = 0;
    bool failed = false;
    // Names already taken by this run, so that a second entry of a name cannot merge into the
    // first (its content in the first one's mode).
    std::unordered_set<std::string> taken;
    std::vector<PendingLink> links;
    for (uint64_t i = 0; i < count; ++i) {
      ZipEntryInfo entry;
      if (!reader->Stat(i, entry)) continue;
      std::string key = EntryKey(entry.name);
      const std::optional<fs::path> target = EntryTargetPath(folder, entry.name);
      if (target && key.empty() && entry.isDirectory) {
        // "./", as bsdtar writes for the folder it packed: the extraction folder itself.
        continue;
      }
      if (HasControlCharacter(entry.name) || HasControlCharacter(entry.rawName)) {
        ReportFailedEntry(entry.name, "the name holds a control character");
      } else if (!target || key.empty()) {
        ReportFailedEntry(entry.name, "the name leaves the extraction folder");
      } else if (!taken.insert(key).second) {
        ReportFailedEntry(entry.name, "an earlier entry has the same name");
      } else if (entry.IsSymbolicLink() && !LinksAreExtracted()) {
        ReportFailedEntry(entry.name, "symbolic links are not extracted on this system");
      } else if (entry.IsSymbolicLink()) {
        // Made once every file is written, so that nothing is ever written through a link.
        links.push_back({i, std::move(entry), std::move(key), *target});
        continue;
      } else {
        if (!ExtractEntry(*reader, i, entry, *target, runWritten)) failed = true;
        continue;
      }
      failed = true;
    }
    for (const PendingLink& link : links) {
      if (!ExtractLink(*reader, link, folder)) failed = true;
    }
    // Before the completion, so that nothing from an archive that changed is ever announced.
    // A failed run is not checked: it is never taken for a complete one.
    const bool changed = !failed && !reader->ArchiveMatches();
    reader.reset();

    if (changed) {
      RemoveWritten(folder);
      report.result = page_result::kBadSignature;
      report.message = kArchiveChangedMessage + sourcePath;
      Logger::Log(LogLevel::Error, kCategory, report.message + ", hr=0x80096010");
    } else if (failed) {
      report.message = kNotPreparedMessage;
    } else {
      report.result = page_result::kSuccess;
    }
    Logger::Log(LogLevel::Info, kCategory, "Unzip completed: dest=" + destinationPath);
  } catch (const std::exception& e) {
    // Out of memory or a path the library refuses: the run still ends in a completion.
    Logger::Log(LogLevel::Error, kCategory, std::string("Unzip failed: ") + e.what());
    report.message = kNotPreparedMessage;
    if (report.result == page_result::kSuccess) report.result = page_result::kEntryFailed;
  }
  Finish();
}

bool ZipEngine::ExtractEntry(ZipReader& reader, uint64_t index, const ZipEntryInfo& entry,
                             const fs::path& target, uint64_t& runWritten) {
  written_.push_back(target);
  std::error_code ec;
  CreateWorkingFolders(PathFromUtf8(destinationPath), target.parent_path(), ec);
  if (!ec && entry.isDirectory) fs::create_directories(target, ec);
  if (ec) {
    ReportFailedEntry(entry.name, "cannot create folder: " + ec.message());
    return false;
  }
  if (entry.isDirectory) return true;
  // The folder is new, so whatever is there was made by an earlier entry: one whose name
  // differs only in case on Windows, or a folder implied by an earlier entry's name.
  if (const fs::file_status there = fs::symlink_status(target, ec);
      fs::is_regular_file(there) || fs::is_directory(there) || fs::is_symlink(there)) {
    ReportFailedEntry(entry.name, "an earlier entry already made this path");
    return false;
  }
  return ExtractFile(reader, index, entry, target, runWritten);
}

bool ZipEngine::ExtractLink(ZipReader& reader, const PendingLink& link, const fs::path& folder) {
  const std::string& name = link.entry.name;
  if (cancelRequested.load()) {
    ReportFailedEntry(name, "cancelled");
    return false;
  }
  LinkTargetSink sink;
  std::string error;
  if (!reader.Extract(link.index, sink, error)) {
    ReportFailedEntry(name, sink.tooLong ? "the link target is too long" : error);
    return false;
  }
  if (std::optional<std::string> refusal = LinkRefusal(folder, link.key, sink.target)) {
    ReportFailedEntry(name, *refusal + " (" + sink.target + ")");
    return false;
  }
  if (PassesThroughLink(folder, link.key)) {
    ReportFailedEntry(name, "a folder on its path is a link");
    return false;
  }
  written_.push_back(link.path);
  std::error_code ec;
  CreateWorkingFolders(folder, link.path.parent_path(), ec);
  if (ec) {
    ReportFailedEntry(name, "cannot create folder: " + ec.message());
    return false;
  }
  if (fs::exists(fs::symlink_status(link.path, ec))) {
    ReportFailedEntry(name, "an earlier entry already made this path");
    return false;
  }
  if (!CreateEntryLink(link.path, sink.target, error)) {
    ReportFailedEntry(name, "cannot make the link: " + error);
    return false;
  }
  return true;
}

bool ZipEngine::ExtractFile(ZipReader& reader, uint64_t index, const ZipEntryInfo& entry,
                            const fs::path& target, uint64_t& runWritten) {
  OutputFile file;
  if (!file.Open(target, ExtractedFileMode(entry))) {
    Logger::Log(LogLevel::Error, kCategory,
                SanitizeUtf8("Failed to open for write: " + PathToUtf8(target)));
    ReportFailedEntry(entry.name, file.error());
    return false;
  }
  EntrySink sink(*this, file, entry.name, &runWritten, report.todo);
  std::string error;
  bool ok = reader.Extract(index, sink, error);
  if (sink.writeFailed) error = "write failed: " + file.error();
  // Whatever was written stays; a failed close (delayed write error) fails the entry too.
  if (!file.Close() && ok) {
    ok = false;
    error = "close failed: " + file.error();
  }
  if (!ok) ReportFailedEntry(entry.name, error);
  return ok;
}

void ZipEngine::ReportFailedEntry(const std::string& storedName, const std::string& reason) {
  // The entries after a failed one stop too; the run still ends with that failure, which is
  // what the user needs to hear (the archive is bad), not with a cancel nobody asked for.
  if (stoppedByFailure_) return;
  if (cancelRequested.load()) {
    report.result = page_result::kCancelled;
    report.message = kCancellingMessage;
  } else {
    // The first failure stops the rest of the run the way a cancel would.
    stoppedByFailure_ = true;
    cancelRequested.exchange(true);
    report.result = page_result::kEntryFailed;
    report.message = FormatScript(kEntryFailedTemplate, storedName);
    Logger::Log(LogLevel::Error, kCategory, SanitizeUtf8(report.message));
    // The contract's line names the entry only; whoever reads the log needs the cause too.
    Logger::Log(LogLevel::Error, kCategory,
                SanitizeUtf8("Entry not extracted: " + storedName + ": " + reason));
  }
  if (onProgress != nullptr) onProgress(report);
}

void ZipEngine::Finish() {
  try {
    if (removeArchiveWhenDone.load()) {
      const fs::path archive = PathFromUtf8(sourcePath);
      std::error_code ec;
      const fs::file_status status = fs::symlink_status(archive, ec);
      if (fs::is_directory(status)) {
        Logger::Log(LogLevel::Warn, kCategory, "Archive not deleted (a folder): " + sourcePath);
      } else if (fs::exists(status) && !fs::remove(archive, ec) && ec) {
        Logger::Log(LogLevel::Warn, kCategory,
                    "Archive not deleted: " + sourcePath + ": " + ec.message());
      }
    }
    if (checked_ && report.result == page_result::kSuccess) checkedAndComplete.exchange(true);
    if (onComplete != nullptr && report.result == page_result::kSuccess) {
      report.message = destinationPath;
    }
  } catch (const std::exception& e) {
    Logger::Log(LogLevel::Error, kCategory, std::string("Unzip completion failed: ") + e.what());
  }
  Complete(report);
}

void ZipEngine::RemoveWritten(const fs::path& folder) {
  // Each path made, and each folder between it and `folder`; deepest first, so that each folder
  // is empty by the time its turn comes.
  std::vector<std::pair<size_t, fs::path>> paths;
  for (const fs::path& made : written_) {
    const fs::path relative = made.lexically_relative(folder);
    if (relative.empty() || *relative.begin() == "..") continue;
    fs::path p = folder;
    size_t depth = 0;
    for (const fs::path& part : relative) {
      p /= part;
      paths.emplace_back(++depth, p);
    }
  }
  std::sort(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  std::error_code ec;
  for (const auto& [depth, p] : paths) fs::remove(p, ec);
  fs::remove(folder, ec);
}

size_t EntrySink::Write(uint64_t, const void* data, size_t length) {
  if (engine.cancelRequested.load()) return 0;
  if (!file.Write(data, length)) {
    writeFailed = true;
    return 0;
  }
  *runWritten += length;
  if (engine.onProgress != nullptr && runTotal != 0) {
    CallbackPayload& report = engine.report;
    const uint64_t last = report.done;
    // (written - last) * 100 / total >= 1, without the multiplication overflowing.
    const uint64_t onePercent = runTotal / 100 + (runTotal % 100 != 0 ? 1 : 0);
    if (last == 0 || *runWritten - last >= onePercent) {
      report.done = *runWritten;
      report.todo = runTotal;
      report.message = entryName;
      engine.onProgress(report);
    }
  }
  return length;
}
