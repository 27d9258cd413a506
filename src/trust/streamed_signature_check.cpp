#include "trust/streamed_signature_check.h"

#include <algorithm>
#include <system_error>
#include <utility>

std::unique_ptr<StreamedSignatureCheck> StreamedSignatureCheck::Start() {
  std::unique_ptr<StreamedSignatureCheck> check(new StreamedSignatureCheck());
  check->hash_ = Sha256Stream::Create();
  if (!check->hash_) return nullptr;
  try {
    check->thread_ = std::thread([raw = check.get()] { raw->HashQueuedBlocks(); });
  } catch (const std::system_error&) {
    return nullptr;  // the caller reads the file after the transfer instead
  }
  return check;
}

StreamedSignatureCheck::~StreamedSignatureCheck() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StreamedSignatureCheck::Wrote(uint64_t offset, const void* data, size_t size) {
  std::unique_lock lock(mutex_);
  if (size == 0 || givenUp_ || finished_) return;
  if (offset == 0 && end_ != 0) {
    // What is queued belongs to the bytes the transfer threw away.
    queue_.clear();
    gathered_.clear();
    end_ = 0;
    Queue(lock, Block{true, {}});
  } else if (offset != end_) {
    givenUp_ = true;
    queue_.clear();
    gathered_ = std::string();
    changed_.notify_all();
    return;
  }
  const auto* bytes = static_cast<const char*>(data);
  end_ += size;
  while (size > 0) {
    if (gathered_.capacity() < kBlockBytes) gathered_.reserve(kBlockBytes);
    const size_t take = std::min(size, kBlockBytes - gathered_.size());
    gathered_.append(bytes, take);
    bytes += take;
    size -= take;
    if (gathered_.size() == kBlockBytes) {
      std::string next;
      if (!spareBuffers_.empty()) {
        next = std::move(spareBuffers_.back());
        spareBuffers_.pop_back();
      }
      Queue(lock, Block{false, std::exchange(gathered_, std::move(next))});
    }
  }
}

void StreamedSignatureCheck::Queue(std::unique_lock<std::mutex>& lock, Block block) {
  changed_.wait(lock, [&] { return queue_.size() < kMaxQueuedBlocks || stopping_; });
  queue_.push_back(std::move(block));
  changed_.notify_all();
}

void StreamedSignatureCheck::HashQueuedBlocks() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Block block = std::move(queue_.front());
    queue_.pop_front();
    hashing_ = true;
    changed_.notify_all();  // room in the queue for a waiting writer
    lock.unlock();
    if (block.startOver) {
      hash_ = Sha256Stream::Create();
      hashFailed_ = !hash_;
      hashed_ = 0;
    } else if (!hashFailed_) {
      hashFailed_ =
          !hash_->Update(reinterpret_cast<const uint8_t*>(block.bytes.data()), block.bytes.size());
      hashed_ += block.bytes.size();
    }
    lock.lock();
    hashing_ = false;
    block.bytes.clear();
    // Two spare buffers are enough for the writer to go on while a block is hashed.
    if (block.bytes.capacity() > 0 && spareBuffers_.size() < 2) {
      spareBuffers_.push_back(std::move(block.bytes));
    }
    changed_.notify_all();
  }
}

std::optional<Sha256Digest> StreamedSignatureCheck::Finish(uint64_t fileSize) {
  {
    std::unique_lock lock(mutex_);
    if (finished_) return std::nullopt;
    finished_ = true;
    if (!givenUp_ && !gathered_.empty()) Queue(lock, Block{false, std::move(gathered_)});
    changed_.wait(lock, [&] { return (queue_.empty() && !hashing_) || stopping_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (givenUp_ || hashFailed_ || end_ != fileSize || hashed_ != fileSize) return std::nullopt;
  return hash_->Finish();
}
