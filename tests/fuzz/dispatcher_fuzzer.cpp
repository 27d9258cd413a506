// libFuzzer target for the two edges where untrusted text enters the host.
//
// 1. The page's messages: the input, split at line breaks into up to 16 messages, goes to
//    SetupWebView::OnWebMessageReceived of a fresh host with fake window and web view, the
//    window pumped after each message. Every script the page then receives must be a callback
//    whose Base64 argument decodes to a JSON payload, or the close request.
// 2. The payload encoder: the same bytes, cut into the fields of a CallbackPayload, must encode
//    to Base64 of compact sorted JSON that parses back to the same values (text that is not
//    UTF-8 comes back as valid UTF-8).
//
// Messages whose action would start real work outside the process (registered with
// ActionRegistry::Reach::kOutside) are not dispatched: doDownload (network transfer), doUnZip
// (reads and writes arbitrary paths), doLaunchSetup and doOpenProduct (run a program the input
// names), doFindProduct (examines paths the input names), doRestartSystem (would restart the
// machine), postToTeams (network post). Their member handling is covered by their own tests;
// here they would only turn fuzz inputs into downloads and launched programs. doCleanUp and
// doClose stay in: a fresh host has no working folders, so their clean-up thread removes
// nothing, and each input waits until it has ended.
//
// Violations abort, which libFuzzer reports as a crash with the input that caused it.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/main_window_proc.h"
#include "app/setup_web_view.h"
#include "base/working_folder.h"
#include "bridge/action_registry.h"
#include "bridge/callback_payload.h"
#include "bridge/page_callbacks.h"
#include "log/logger.h"
#include "support/fake_web_view.h"
#include "support/fake_window.h"

using nlohmann::json;

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// True when the dispatcher would hand `text` to a handler that reaches outside the process.
bool StartsOutsideWork(const ActionRegistry& actions, std::string_view text) {
  const json message = json::parse(text.begin(), text.end(), nullptr, false, false);
  if (!message.is_object()) return false;
  const auto action = message.find("action");
  if (action == message.end() || !action->is_string()) return false;
  const ActionRegistry::Action* found = actions.Find(action->get_ref<const std::string&>());
  return found != nullptr && found->reach == ActionRegistry::Reach::kOutside;
}

std::string DecodeBase64(const std::string& text);

// The JSON text a callback script carries, or nullopt for any other script. (No std::regex:
// its recursion overflows the stack on the long scripts of large answers.)
std::optional<std::string> CallbackJson(const std::string& script) {
  for (const std::string_view scriptTemplate :
       {std::string_view(kProgressScriptTemplate), std::string_view(kCompletionScriptTemplate)}) {
    const size_t hole = scriptTemplate.find("{}");
    const std::string_view before = scriptTemplate.substr(0, hole);
    const std::string_view after = scriptTemplate.substr(hole + 2);
    if (script.size() >= before.size() + after.size() && script.starts_with(before) &&
        script.ends_with(after)) {
      return DecodeBase64(
          script.substr(before.size(), script.size() - before.size() - after.size()));
    }
  }
  return std::nullopt;
}

// One host as the real program has it, with fakes at the window and web view seams.
class FuzzHost {
 public:
  FuzzHost() {
    host_ = std::make_unique<SetupWebView>(&window_, TempDirectory() / "UI");
    auto view = std::make_unique<FakeWebView>();
    view_ = view.get();
    host_->OnWebViewReady(std::move(view));
  }

  ~FuzzHost() {
    WaitUntilIdle();
    window_.Clear();
  }

  const ActionRegistry& actions() const { return host_->Actions(); }

  void Deliver(std::string_view message) {
    host_->OnWebMessageReceived(message);
    WaitUntilIdle();
    CheckScripts();
  }

 private:
  // Pumps until no worker of the host runs (a clean-up thread posts its answer meanwhile).
  void WaitUntilIdle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      window_.PumpAll();
      if (!host_->IsBusy()) break;
      Require(std::chrono::steady_clock::now() < deadline, "a worker never ended");
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    window_.PumpAll();
  }

  void CheckScripts() {
    for (const std::string& script : view_->scripts) {
      if (script == kRequestCloseScript) continue;
      const std::optional<std::string> text = CallbackJson(script);
      Require(text.has_value(), "a script that is not a page callback");
      const json payload = json::parse(*text, nullptr, false);
      Require(payload.is_object(), "a callback whose payload is not a JSON object");
      Require(payload.size() == 7, "a payload without its seven members");
      Require(payload.dump() == *text, "a payload that is not compact, sorted JSON");
    }
    view_->scripts.clear();
  }

  FakeWindow window_;
  std::unique_ptr<SetupWebView> host_;
  FakeWebView* view_ = nullptr;
};

void FuzzDispatcher(std::string_view input) {
  FuzzHost host;
  size_t start = 0;
  for (int count = 0; count < 16 && start <= input.size(); ++count) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view message = input.substr(start, end - start);
    if (!StartsOutsideWork(host.actions(), message)) host.Deliver(message);
    start = end + 1;
  }
}

// Strict Base64: the alphabet, "=" only as the padding of the last group.
std::string DecodeBase64(const std::string& text) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Require(text.size() % 4 == 0, "Base64 length not a multiple of four");
  std::string out;
  uint32_t accumulator = 0;
  int bits = 0;
  size_t padding = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=') {
      Require(i + 2 >= text.size(), "Base64 padding inside the text");
      ++padding;
      continue;
    }
    Require(padding == 0, "Base64 character after padding");
    const size_t value = kAlphabet.find(text[i]);
    Require(value != std::string_view::npos, "a character outside the Base64 alphabet");
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
    }
  }
  Require((accumulator & ((1u << bits) - 1)) == 0, "Base64 with stray bits in its last group");
  return out;
}

bool IsUtf8(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

void CheckString(const json& parsed, const char* key, const std::string& original) {
  const auto member = parsed.find(key);
  Require(member != parsed.end() && member->is_string(), "a string member went missing");
  if (IsUtf8(original)) {
    Require(*member == original, "a UTF-8 string did not come back unchanged");
  } else {
    Require(member->get_ref<const std::string&>().size() > 0, "bad bytes were dropped");
  }
}

void FuzzPayload(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  CallbackPayload payload;
  payload.name = input.ConsumeRandomLengthString(64);
  payload.cbid = input.ConsumeRandomLengthString(64);
  payload.jsp = input.ConsumeRandomLengthString(32);
  payload.result = input.ConsumeIntegral<uint32_t>();
  payload.done = input.ConsumeIntegral<uint64_t>();
  payload.todo = input.ConsumeIntegral<uint64_t>();
  payload.message = input.ConsumeRemainingBytesAsString();

  const std::string serialized = SerializeCallbackPayload(payload);
  const std::string encoded = EncodeCallbackPayload(payload);
  Require(encoded.size() == (serialized.size() + 2) / 3 * 4, "Base64 of the wrong length");
  Require(DecodeBase64(encoded) == serialized, "Base64 does not decode to the JSON text");

  const json parsed = json::parse(serialized, nullptr, false);
  Require(!parsed.is_discarded() && parsed.is_object(), "the payload is not a JSON object");
  Require(parsed.size() == 7, "the payload does not have seven members");
  Require(parsed.dump() == serialized, "the payload is not compact, sorted JSON");
  CheckString(parsed, "name", payload.name);
  CheckString(parsed, "cbid", payload.cbid);
  CheckString(parsed, "jsp", payload.jsp);
  CheckString(parsed, "message", payload.message);
  Require(parsed["result"] == payload.result, "result changed");
  Require(parsed["done"] == payload.done, "done changed");
  Require(parsed["todo"] == payload.todo, "todo changed");

  const std::string script = FormatScript(kProgressScriptTemplate, encoded);
  Require(script.find('\n') == std::string::npos, "the script is not one line");
  Require(CallbackJson(script) == serialized, "the script does not carry the payload");
}

const std::string* g_logFolder = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The dispatcher logs dropped messages and doWriteLog writes lines: both go to a folder of
  // the fuzzer's own under the temporary folder (scripts/fuzz points TMPDIR at its run folder).
  unsetenv("VLM_LOG_DIR");
  g_logFolder = new std::string((TempDirectory() / "fuzz-logs").string());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A fresh Logger per input: what doGetLogData answers depends only on this input, and the
  // in-memory list does not grow across inputs (libFuzzer takes growth for a leak to check).
  Logger::ResetForTesting();
  Logger::Initialize(*g_logFolder, "Quillfetch");
  FuzzDispatcher(std::string_view(reinterpret_cast<const char*>(data), size));
  FuzzPayload(data, size);
  return 0;
}
