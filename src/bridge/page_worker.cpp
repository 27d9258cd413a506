#include "bridge/page_worker.h"

#include <exception>
#include <string>
#include <utility>

#include "base/detached_thread.h"
#include "bridge/page_responder.h"
#include "log/logger.h"

void PageWorker::AnswerThrough(std::shared_ptr<PageResponder> responder) {
  onProgress = [responder](const CallbackPayload& payload) { responder->Progress(payload); };
  onComplete = [responder](const CallbackPayload& payload) { responder->Complete(payload); };
}

bool PageWorker::ClaimStart() {
  if (started_.exchange(true)) return false;
  running.exchange(true);
  return true;
}

void PageWorker::RunDetached(std::shared_ptr<PageWorker> self, std::function<void()> run) {
  PageWorker& worker = *self;
  try {
    StartDetachedThread([self = std::move(self), run = std::move(run)] {
      run();
      self->running.exchange(false);
    });
  } catch (...) {
    worker.running.exchange(false);
    throw;
  }
}

void PageWorker::Complete(const CallbackPayload& completion) {
  if (onComplete) {
    try {
      onComplete(completion);
    } catch (const std::exception& e) {
      Logger::Log(LogLevel::Error, "engine", std::string("Completion failed: ") + e.what());
    }
  }
  running.exchange(false);  // last: see the class comment
}
