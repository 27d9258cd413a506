#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "bridge/page_responder.h"

class NativeWindow;

// The PageResponder of a host: answers become scripts posted to its main window as
// WM_RUN_SCRIPT, which the window procedure runs in the page. Progress goes through
// NativeWindow::PostLatestScript, which coalesces the reports of one callback id while the
// window thread falls behind; completions are posted one by one and never merged.
//
// The window shows the work too: a report with a total puts its share on the taskbar button,
// the completion of an action that reported progress takes it away and, when that action
// failed (anything but success or a cancel), asks for the user's attention, as the end of the
// setup does (RequestAttention).
//
// Ownership: held by std::shared_ptr, by the host and by every worker it starts. The host
// detaches it before it goes away; from then on (and when the window no longer takes messages)
// every answer is dropped and freed.
// Threading: any thread.
class WindowResponder final : public PageResponder {
 public:
  explicit WindowResponder(NativeWindow* window) : window_(window) {}

  void Progress(const CallbackPayload& payload) override;
  void Complete(const CallbackPayload& payload) override;
  void RequestAttention() override;

  // Queues `script` as it is. False (the script freed) when detached or the window refuses it.
  bool PostScript(std::string script);

  // Sends every later answer to `window` instead; null drops them (the host detaches its
  // responder so before it goes away). Waits for an answer being posted to finish.
  void Retarget(NativeWindow* window);

 private:
  std::mutex mutex_;  // held while posting, so that Detach never leaves a post halfway
  NativeWindow* window_;
};

// Queues `script` to run in `window`'s page. False when the window no longer takes messages;
// the script is then freed. Any thread.
bool PostScriptTo(NativeWindow& window, std::string script);
