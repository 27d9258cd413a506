#pragma once

#include "bridge/callback_payload.h"

// How a page action answers: the one way handlers and their workers reach the page.
//
// Each host hands its responder to the handlers (ActionContext::Responder) and, shared, to the
// workers they start, so a worker that outlives its host still holds a valid object; once the
// host is gone its responder drops whatever arrives.
//
// Threading: any thread. Every call only queues the answer for the window thread, which runs it
// as a page script; neither waits for the page.
class PageResponder {
 public:
  virtual ~PageResponder() = default;

  // "window.onActionProgress(<base64>)". A report that finds an earlier one of the same callback
  // id still waiting replaces it (the page sees the newest figures, never an older one after a
  // newer), so reports cannot fill the window's queue while its thread is busy.
  virtual void Progress(const CallbackPayload& payload) = 0;

  // Shows the main window first when it is hidden, then queues
  // "window.onActionComplete(<base64>)". Completions are never merged or dropped while the
  // window takes messages.
  virtual void Complete(const CallbackPayload& payload) = 0;
  // Asks for the user's attention when the program's window is not the one in front: the user
  // has something to see (the setup the page started has ended). Queued like the answers.
  virtual void RequestAttention() = 0;
};
