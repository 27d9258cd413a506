#include "install/zip_engine.h"

#include <exception>
#include <system_error>
#include <thread>

#include "base/detached_thread.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "bridge/page_callbacks.h"
#include "install/entry_rules.h"
#include "install/free_space.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

constexpr char kCategory[] = "Engine.Zip";

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

ZipEngine::ZipEngine() : spaceQuery(&AvailableSpace) {}

ZipEngine::~ZipEngine() {
  cancelRequested.exchange(true);
}

bool ZipEngine::Start(const std::string& source, const std::string& destination,
                      const std::string& callbackId) {
  // Checked before anything is written: a running worker reads these fields.
  if (started_ || running.exchange(true)) return false;
  started_ = true;
  sourcePath = source;
  destinationPath = destination;
  cancelRequested.exchange(false);
  report.cbid = callbackId;
  report.jsp = kProgressRoute;
  report.message.clear();
  report.result = kResultSuccess;
  report.done = 0;
  report.todo = 0;
  try {
    StartDetachedThread([self = shared_from_this()] {
      self->Run();
      self->running.exchange(false);
    });
  } catch (...) {
    running.exchange(false);
    throw;
  }
  return true;
}

void ZipEngine::Run() {
  try {
    std::unique_ptr<ZipReader> reader = ZipReader::Open(sourcePath);
    if (!reader) {
      report.message = kUnreadableMessage;
      report.result = kResultUnreadable;
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
        report.result = kResultDiskFull;
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
    for (uint64_t i = 0; i < count; ++i) {
      ZipEntryInfo entry;
      if (!reader->Stat(i, entry)) continue;
      const std::optional<fs::path> target = EntryTargetPath(folder, entry.name);
      if (!target || entry.IsSymbolicLink()) {
        ReportFailedEntry(entry.name, target ? "symbolic link entry refused"
                                             : "name leaves the extraction folder");
        failed = true;
        continue;
      }
      std::error_code ec;
      fs::create_directories(target->parent_path(), ec);
      if (!ec && entry.isDirectory) fs::create_directories(*target, ec);
      if (ec) {
        ReportFailedEntry(entry.name, "cannot create folder: " + ec.message());
        failed = true;
        continue;
      }
      if (entry.isDirectory) continue;
      if (!ExtractFile(*reader, i, entry, *target, runWritten)) failed = true;
    }
    reader.reset();

    if (failed) {
      report.message = kNotPreparedMessage;
    } else {
      report.result = kResultSuccess;
    }
    Logger::Log(LogLevel::Info, kCategory, "Unzip completed: dest=" + destinationPath);
  } catch (const std::exception& e) {
    // Out of memory or a path the library refuses: the run still ends in a completion.
    Logger::Log(LogLevel::Error, kCategory, std::string("Unzip failed: ") + e.what());
    report.message = kNotPreparedMessage;
    if (report.result == kResultSuccess) report.result = kResultEntryFailed;
  }
  Finish();
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
  if (cancelRequested.load()) {
    report.result = kResultCancelled;
    report.message = kCancellingMessage;
  } else {
    // The first failure stops the rest of the run the way a cancel would.
    cancelRequested.exchange(true);
    report.result = kResultEntryFailed;
    report.message = FormatScript(kEntryFailedTemplate, storedName);
    Logger::Log(LogLevel::Error, kCategory, SanitizeUtf8(report.message));
    Logger::Log(LogLevel::Debug, kCategory, SanitizeUtf8(storedName + ": " + reason));
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
    if (onComplete != nullptr) {
      if (report.result == kResultSuccess) report.message = destinationPath;
      onComplete(report);
    }
  } catch (const std::exception& e) {
    Logger::Log(LogLevel::Error, kCategory, std::string("Unzip completion failed: ") + e.what());
  }
  running.exchange(false);
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
