#include "download/watched_file.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/page_results.h"

WatchedFile::WatchedFile(std::unique_ptr<DownloadFile> file, uint64_t size,
                         std::vector<FileWriteWatcher*> watchers)
    : file_(std::move(file)), size_(size), watchers_(std::move(watchers)) {}

TransferError WatchedFile::Write(const char* data, size_t size) {
  if (const TransferError error = file_->Write(data, size)) return error;
  Tell(size_, data, size);
  size_ += size;
  return TransferError();
}

TransferError WatchedFile::WriteAt(uint64_t offset, const char* data, size_t size) {
  if (size == 0) return TransferError();
  if (const TransferError error = file_->WriteAt(offset, data, size)) return error;
  if (offset != size_) {
    // Joined to a neighbour that ends where these begin, so catching up reads in long runs.
    auto before = ahead_.lower_bound(offset);
    if (before != ahead_.begin() && std::prev(before)->second == offset) {
      std::prev(before)->second = offset + size;
    } else {
      ahead_[offset] = offset + size;
    }
    aheadBytes_ += size;
    return TransferError();
  }
  Tell(offset, data, size);
  size_ += size;
  return CatchUp();
}

void WatchedFile::Tell(uint64_t offset, const char* data, size_t size) {
  for (FileWriteWatcher* watcher : watchers_) watcher->Wrote(offset, data, size);
}

TransferError WatchedFile::CatchUp() {
  std::string piece;
  while (!ahead_.empty() && ahead_.begin()->first == size_) {
    const uint64_t end = ahead_.begin()->second;
    ahead_.erase(ahead_.begin());
    aheadBytes_ -= end - size_;
    if (watchers_.empty()) {
      size_ = end;
      continue;
    }
    piece.resize(kFileWriteBlockBytes);
    while (size_ < end) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), end - size_));
      if (file_->ReadAt(size_, piece.data(), want)) {
        return TransferError(page_result::kReadFault);
      }
      Tell(size_, piece.data(), want);
      size_ += want;
    }
  }
  return TransferError();
}

TransferError WatchedFile::Empty() {
  if (const TransferError error = file_->Empty()) return error;
  size_ = 0;
  ahead_.clear();
  aheadBytes_ = 0;
  return TransferError();
}

TransferError WatchedFile::DropAhead() {
  if (ahead_.empty()) return TransferError();
  if (const TransferError error = file_->TruncateTo(size_)) return error;
  ahead_.clear();
  aheadBytes_ = 0;
  return TransferError();
}

void WatchedFile::AdoptAhead(const std::vector<std::pair<uint64_t, uint64_t>>& runs) {
  for (const auto& [first, end] : runs) {
    ahead_[first] = end;
    aheadBytes_ += end - first;
  }
}

TransferError WatchedFile::TellKeptStart(uint64_t size) {
  if (size == 0) return TransferError();
  AdoptAhead({{0, size}});
  return CatchUp();
}

std::vector<std::pair<uint64_t, uint64_t>> WatchedFile::AheadRuns() const {
  return {ahead_.begin(), ahead_.end()};
}

TransferError WatchedFile::Close() {
  return file_->Close();
}
