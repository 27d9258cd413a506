#include "download/parallel_ranges.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/page_results.h"
#include "download/block_gathering.h"
#include "download/direct_transfer_rules.h"
#include "log/logger.h"

namespace {

constexpr uint32_t kPartialContent = 206;
// A range is halved for an idle connection only while both halves are worth a request.
constexpr uint64_t kMinSplitBytes = 2 * 1024 * 1024;
// How often the cancel flag is looked at while connections wait on the network.
constexpr auto kCancelPoll = std::chrono::milliseconds(10);

}  // namespace

// One connection's side: the range it serves, the answer it reads, the bytes it gathers into
// whole pieces before they go to the file.
class ParallelRanges::Connection final : public HttpAnswerReceiver {
 public:
  explicit Connection(ParallelRanges& owner) : owner_(owner) {}

  void Ask(size_t range, uint64_t first) {
    range_ = range;
    asked_ = first;
    received_ = 0;
  }
  uint64_t received() const { return received_; }

  TransferError OnHead(const HttpAnswerHead& head) override {
    if (head.status < 200 || head.status >= 300)
      return TransferError(PageResultOfHttpStatus(head.status));
    const Setup& setup = owner_.setup_;
    const std::string validator = IfRangeValidator(head);
    const bool sameFile =
        head.status == kPartialContent && head.contentRangeFirstByte == asked_ &&
        (!head.contentRangeTotal || *head.contentRangeTotal == setup.total) &&
        (setup.validator.empty() || validator.empty() || validator == setup.validator);
    if (!sameFile) {
      Logger::Log(LogLevel::Info, "Engine.Download",
                  "A range came back as another answer (HTTP " + std::to_string(head.status) +
                      "); going on with one connection");
      return TransferError(kOtherAnswer);
    }
    return TransferError();
  }

  TransferError OnBody(const char* data, size_t size) override {
    received_ += size;
    owner_.Arrived(size);
    return GatherIntoBlocks(block_, data, size, [this] { return Flush(); });
  }

  // Writes what was gathered; kRangeDone once the range is complete.
  TransferError Flush() {
    if (block_.empty()) return TransferError();
    const TransferError error = owner_.Commit(range_, block_.data(), block_.size());
    block_.clear();
    return error;
  }

 private:
  ParallelRanges& owner_;
  size_t range_ = 0;
  uint64_t asked_ = 0;
  uint64_t received_ = 0;  // body bytes of the current answer
  std::string block_;
};

ParallelRanges::ParallelRanges(Setup setup, uint64_t from) : setup_(std::move(setup)) {
  setup_.connections = std::clamp<uint32_t>(setup_.connections, 2, 16);
  // The caller's request runs up to the first bytes already on disk (a kept download's), the
  // gaps after them wait for the other connections.
  uint64_t gap = from;
  for (const auto& [first, end] : setup_.file->AheadRuns()) {
    ranges_.push_back(Range{gap, first, ranges_.empty()});
    gap = end;
  }
  if (gap < setup_.total) ranges_.push_back(Range{gap, setup_.total, ranges_.empty()});
  for (uint32_t i = 0; i < setup_.connections; ++i) {
    connections_.push_back(std::make_unique<Connection>(*this));
  }
  connections_[0]->Ask(0, from);
  Logger::Log(LogLevel::Info, "Engine.Download",
              "Fetching bytes " + std::to_string(from) + " to " + std::to_string(setup_.total) +
                  " over " + std::to_string(setup_.connections) + " connections");
  cancelRelay_ = std::thread([this] {
    std::unique_lock lock(relayMutex_);
    while (!relayEnds_) {
      if (setup_.cancel->load()) Stop(TransferError(page_result::kCancelled));
      relayWake_.wait_for(lock, kCancelPoll);
    }
  });
  for (uint32_t i = 1; i < setup_.connections; ++i) {
    threads_.emplace_back([this, i] {
      std::unique_ptr<HttpSession> session;
      if (const TransferError error = OpenHttpSession(setup_.url, setup_.session, session)) {
        Stop(error);
        return;
      }
      Work(*connections_[i], *session, kNoRange);
    });
  }
}

ParallelRanges::~ParallelRanges() {
  if (!threads_.empty()) Stop(TransferError(page_result::kCancelled));
  for (std::thread& thread : threads_) thread.join();
  {
    std::lock_guard lock(relayMutex_);
    relayEnds_ = true;
  }
  relayWake_.notify_all();
  if (cancelRelay_.joinable()) cancelRelay_.join();
}

TransferError ParallelRanges::Deliver(const char* data, size_t size) {
  return connections_[0]->OnBody(data, size);
}

TransferError ParallelRanges::Finish(TransferError ended, HttpSession& session) {
  const TransferError flushed = connections_[0]->Flush();
  if (flushed && flushed.code() != kRangeDone) Stop(flushed);
  if (ended.code() == page_result::kCancelled) Stop(ended);
  // The caller's request may have stopped short of its range (cut, or halved and abandoned);
  // its connection goes on like any other.
  Work(*connections_[0], session, size_t{0});
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();

  std::lock_guard lock(mutex_);
  if (failure_) return failure_;
  if (setup_.cancel->load()) return TransferError(page_result::kCancelled);
  if (setup_.file->size() != setup_.total) return TransferError(page_result::kHttpConnectionError);
  return TransferError();
}

void ParallelRanges::Work(Connection& connection, HttpSession& session, size_t range) {
  int32_t attempt = 0;
  while (!Stopped()) {
    if (range == kNoRange) {
      range = TakeRange();
      attempt = 0;
      if (range == kNoRange) return;
    }
    HttpGetRange asked{0, std::nullopt, setup_.validator};
    {
      std::lock_guard lock(mutex_);
      const Range& r = ranges_[range];
      if (r.next >= r.end) {
        range = kNoRange;
        continue;
      }
      asked.first = r.next;
      asked.last = r.end - 1;
    }
    connection.Ask(range, asked.first);
    TransferError error = session.Get(asked, stop_, connection);
    // What arrived before a failure counts: the retry continues after it.
    const TransferError flushed = connection.Flush();
    if (Stopped()) return;
    if (flushed && flushed.code() != kRangeDone) return Stop(flushed);
    bool complete = false;
    {
      std::lock_guard lock(mutex_);
      complete = ranges_[range].next >= ranges_[range].end;
    }
    if (complete || error.code() == kRangeDone) {
      range = kNoRange;
      continue;
    }
    if (error.code() == kOtherAnswer) return Stop(error);
    // A body that ended before the range's end was cut short, however the client put it.
    if (!error || (connection.received() > 0 && IsConnectionFailure(error.code()))) {
      error = TransferError(page_result::kHttpConnectionError);
    }
    if (attempt >= kDirectMaxRetries || !IsRetryableDirectError(error.code())) return Stop(error);
    if (!setup_.clock->WaitFor(DirectRetryPause(attempt++), &stop_) && Stopped()) return;
  }
}

size_t ParallelRanges::TakeRange() {
  std::lock_guard lock(mutex_);
  size_t largest = kNoRange;
  for (size_t i = 0; i < ranges_.size(); ++i) {
    const Range& r = ranges_[i];
    if (r.next >= r.end) continue;
    if (!r.owned) {
      ranges_[i].owned = true;
      return i;
    }
    if (largest == kNoRange || r.end - r.next > ranges_[largest].end - ranges_[largest].next) {
      largest = i;
    }
  }
  if (largest == kNoRange) return kNoRange;
  Range& victim = ranges_[largest];
  const uint64_t left = victim.end - victim.next;
  if (left < 2 * kMinSplitBytes) return kNoRange;
  const uint64_t middle = victim.next + left / 2;
  const Range taken{middle, victim.end, true};
  victim.end = middle;
  ranges_.push_back(taken);
  return ranges_.size() - 1;
}

void ParallelRanges::Arrived(size_t size) {
  std::lock_guard lock(mutex_);
  gathered_ += size;
  Tell();
}

void ParallelRanges::Tell() {
  // A piece cut at a range's new end gives back bytes already told of: the count never goes
  // back, since the page reads a smaller one as a download that started over.
  told_ = std::max(told_, std::min(setup_.file->received() + gathered_, setup_.total));
  if (setup_.onWritten) setup_.onWritten(told_);
}

TransferError ParallelRanges::Commit(size_t range, const char* data, size_t size) {
  std::lock_guard lock(mutex_);
  gathered_ -= std::min<uint64_t>(gathered_, size);
  if (Stopped()) return TransferError(page_result::kCancelled);
  Range& r = ranges_[range];
  const size_t use = static_cast<size_t>(std::min<uint64_t>(size, r.end - r.next));
  if (const TransferError error = setup_.file->WriteAt(r.next, data, use)) {
    if (!failure_) failure_ = error;
    stop_.store(true);
    return error;
  }
  r.next += use;
  Tell();
  return r.next >= r.end ? TransferError(kRangeDone) : TransferError();
}

void ParallelRanges::Stop(TransferError why) {
  std::lock_guard lock(mutex_);
  if (!failure_) failure_ = why;
  stop_.store(true);
}
