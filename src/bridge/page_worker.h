#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "bridge/callback_payload.h"

// The lifecycle every engine that runs a page action on a worker thread shares (a download, an
// extraction).
//
//  - It starts once: ClaimStart succeeds for the first start only; a second one is refused,
//    whether the first still runs or not.
//  - `cancelRequested` is the one signal in; the worker polls it and winds down.
//  - `running` is set by the start and cleared by Complete as its very last step, after the
//    completion went out: a window that waits for its workers before it closes therefore never
//    closes before the page has its answer.
//  - Progress and the completion go through the two callback slots (bound by the action to
//    the host's PageResponder); every path of a run ends in one Complete.
//
// Ownership: always held by std::shared_ptr; the worker thread holds its own reference, so a
// host that replaces or drops its engine never frees it under the worker.
// Threading: construction, the callback slots and the start on the window thread; the run and
// Complete on the worker. Other threads touch only the two atomic flags.
class PageResponder;

class PageWorker {
 public:
  using Callback = std::function<void(const CallbackPayload&)>;

  PageWorker() = default;
  virtual ~PageWorker() = default;
  PageWorker(const PageWorker&) = delete;
  PageWorker& operator=(const PageWorker&) = delete;

  Callback onProgress;
  Callback onComplete;
  // Binds both slots to `responder`, which the worker then shares.
  void AnswerThrough(std::shared_ptr<PageResponder> responder);
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> running{false};

 protected:
  // Marks the worker started and running. False, with nothing changed, when it was started
  // before.
  bool ClaimStart();
  // Runs `run` on a detached thread that holds `self` (this worker) until it returns; running
  // clears when it returns, whatever happened. A thread that cannot start clears running and
  // raises std::system_error.
  static void RunDetached(std::shared_ptr<PageWorker> self, std::function<void()> run);
  // Sends `completion` through onComplete, then clears running. Never throws: a callback that
  // throws is logged, and running still clears.
  void Complete(const CallbackPayload& completion);

 private:
  std::atomic<bool> started_{false};
};
