#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/file_write_watcher.h"
#include "trust/archive_signature.h"

// The archive's SHA-256 for its signature check, made while the transfer writes it: the written
// bytes go to the hash on a thread of its own, so that a finished download waits only for the
// last block instead of a second pass over the whole file. Whatever the signature is (over the
// archive, or over a release manifest naming the archive's digest), it is checked against this
// digest.
//
// The check follows the file while the writes continue one another; a write at offset 0 starts
// it over (the transfer emptied the file). Any other gap or overlap, say a resume from bytes it
// was not told of, gives the check up, and the caller reads the file instead. Memory stays
// bounded: a writer waits while kMaxQueuedBlocks blocks wait for the hash. Blocks are the
// transfers' own write size, so a whole piece written is queued as it is.
class StreamedSignatureCheck final : public FileWriteWatcher {
 public:
  static constexpr size_t kBlockBytes = kFileWriteBlockBytes;
  static constexpr size_t kMaxQueuedBlocks = 16;

  // Null when the platform offers no SHA-256 or no thread can be started.
  static std::unique_ptr<StreamedSignatureCheck> Start();
  ~StreamedSignatureCheck() override;

  StreamedSignatureCheck(const StreamedSignatureCheck&) = delete;
  StreamedSignatureCheck& operator=(const StreamedSignatureCheck&) = delete;

  void Wrote(uint64_t offset, const void* data, size_t size) override;

  // Once, after the last write: waits for the hash to catch up and gives the SHA-256 of a file
  // of `fileSize` bytes, or nullopt when the bytes followed are not that file (or the check was
  // given up), and the file must be read.
  std::optional<Sha256Digest> Finish(uint64_t fileSize);

 private:
  struct Block {
    bool startOver = false;  // the file was emptied: a fresh hash takes what follows
    std::string bytes;
  };

  StreamedSignatureCheck() = default;
  // Queues `block`, waiting while the queue is full. Needs mutex_ held through `lock`.
  void Queue(std::unique_lock<std::mutex>& lock, Block block);
  void HashQueuedBlocks();

  std::mutex mutex_;
  std::condition_variable changed_;
  // Under mutex_: the writer's side and the queue.
  std::deque<Block> queue_;
  std::vector<std::string> spareBuffers_;
  std::string gathered_;  // written bytes not yet queued (less than kBlockBytes)
  uint64_t end_ = 0;      // offset after the last byte written
  bool givenUp_ = false;
  bool hashing_ = false;  // the thread holds a block outside the queue
  bool stopping_ = false;
  bool finished_ = false;

  // The hashing thread's own, read by Finish after it has joined.
  std::unique_ptr<Sha256Stream> hash_;
  uint64_t hashed_ = 0;
  bool hashFailed_ = false;

  std::thread thread_;
};
