#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "download/watched_file.h"
#include "net/http_session.h"
#include "net/transfer_error.h"

// The rest of a file fetched as several ranges at once over up to N connections to one URL:
// the direct transfer's way (download/direct_transfer.h) when the server serves ranges of a
// large file. Object stores and CDNs cap what each connection gets, and a long round trip keeps
// one connection's window small; several connections fill the link.
//
// It starts while the transfer's own request ("bytes=from-") streams: that connection owns
// [from, total) at first, and each other connection takes half of the largest range still to
// come ("bytes=first-last"), from the moment it starts and again whenever it runs out, so all
// of them end at about the same time. A connection whose range was halved stops at the new end
// (its request is abandoned).
//
// Each range keeps the direct transfer's retry rule on its own and continues from its last byte
// on disk; a range that fails for good ends the whole with the code the single GET would give.
// An answer that is not the asked range of the same file (a 200, another start, validator or
// total) ends it with kOtherAnswer: the caller then starts over with one GET. Bytes go to the
// file at their offsets (download/watched_file.h tells the watchers in order); the progress
// sink hears, under one lock, after each read of any connection, the bytes received in all:
// those on disk and those still gathered into a piece. With several connections sharing a
// slow link a piece takes each one many seconds, and bytes that move must show as moving.
class ParallelRanges {
 public:
  // What ends the whole when an answer was not the range asked for.
  static constexpr uint32_t kOtherAnswer = 0xA0000001;

  struct Setup {
    std::u16string url;  // as the sessions open it (net/request_url.h escaped)
    // The sessions' options, with the route the caller's session decided: a network that
    // reaches the server only through a proxy pays its failed direct connection once.
    HttpSessionOptions session;
    uint64_t total = 0;
    std::string validator;     // sent as If-Range; empty when the server named none
    uint32_t connections = 2;  // 2 to 16, the caller's among them
    const std::atomic<bool>* cancel = nullptr;
    Clock* clock = nullptr;
    WatchedFile* file = nullptr;  // holds [0, from) in order; must outlive this object
    std::function<void(uint64_t received)> onWritten;
  };

  // Starts the other connections. `from` is where the caller's answer's body begins; bytes the
  // file holds ahead of it already are not fetched again.
  ParallelRanges(Setup setup, uint64_t from);
  // Stops and joins every connection (Finish does, when it was called).
  ~ParallelRanges();

  ParallelRanges(const ParallelRanges&) = delete;
  ParallelRanges& operator=(const ParallelRanges&) = delete;

  // The caller's answer's body, in order. Fails with kRangeDone once its range is complete
  // (the request is then to be abandoned), or with what stops the whole.
  TransferError Deliver(const char* data, size_t size);

  // Once the caller's request ended with `ended` (kRangeDone, success or a failure): the
  // caller's connection goes on as one of the others with `session`, until every range is in
  // or the whole failed. Returns 0 with the file whole, page_result::kCancelled, kOtherAnswer,
  // or the failure that ended it.
  TransferError Finish(TransferError ended, HttpSession& session);

  // Asks an answer's Get to stop: the range it serves is complete.
  static constexpr uint32_t kRangeDone = 0xA0000002;

 private:
  struct Range {
    uint64_t next = 0;  // the first byte not yet on disk
    uint64_t end = 0;   // one past the last byte this range is to fetch
    bool owned = false;
  };
  class Connection;

  static constexpr size_t kNoRange = static_cast<size_t>(-1);

  // One connection's loop: `range` (or kNoRange), then halves of the largest left.
  void Work(Connection& connection, HttpSession& session, size_t range);
  // A range no connection serves, or the upper half of the largest one served; kNoRange when
  // none is worth a request.
  size_t TakeRange();
  // Writes `size` bytes fetched for `range` at its next byte, no further than its end.
  TransferError Commit(size_t range, const char* data, size_t size);
  // `size` bytes came in on some connection, not yet written.
  void Arrived(size_t size);
  // Hands the bytes received in all to the sink; under mutex_.
  void Tell();
  void Stop(TransferError why);
  bool Stopped() const { return stop_.load(); }

  Setup setup_;
  std::mutex mutex_;
  std::vector<Range> ranges_;      // under mutex_
  TransferError failure_;          // the first failure, under mutex_
  uint64_t gathered_ = 0;          // received, not yet committed, under mutex_
  uint64_t told_ = 0;              // the last count the sink heard, under mutex_
  std::atomic<bool> stop_{false};  // set on a failure or a cancel: every Get ends
  std::vector<std::unique_ptr<Connection>> connections_;  // [0] is the caller's
  std::vector<std::thread> threads_;
  std::thread cancelRelay_;
  std::mutex relayMutex_;
  std::condition_variable relayWake_;
  bool relayEnds_ = false;  // under relayMutex_
};
