#include "download/watched_file.h"

#include <utility>

WatchedFile::WatchedFile(std::unique_ptr<DownloadFile> file, uint64_t size,
                         std::vector<FileWriteWatcher*> watchers)
    : file_(std::move(file)), size_(size), watchers_(std::move(watchers)) {}

TransferError WatchedFile::Write(const char* data, size_t size) {
  if (const TransferError error = file_->Write(data, size)) return error;
  for (FileWriteWatcher* watcher : watchers_) watcher->Wrote(size_, data, size);
  size_ += size;
  return TransferError();
}

TransferError WatchedFile::Empty() {
  if (const TransferError error = file_->Empty()) return error;
  size_ = 0;
  return TransferError();
}

TransferError WatchedFile::Close() {
  return file_->Close();
}
