#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the host tells the page: one record, serialised as compact JSON with sorted keys,
// Base64-encoded and passed to window.onActionProgress or window.onActionComplete.
// The engines embed this record as their first fields and keep it across reports.
struct CallbackPayload {
  std::string name;     // producing operation ("UtlDwldFile" for downloads)
  std::string cbid;     // the action's "callbackId", unchanged
  std::string jsp;      // page routing hint for progress ("onDownloadProgress", ...)
  std::string message;  // free text or a whole JSON document as text
  uint32_t result = 0;  // 0 = success, else a Win32-style code
  uint64_t done = 0;
  uint64_t todo = 0;
  // While a download waits to try again: the retry about to be made (from 1; 0 = not waiting,
  // and then none of these four is sent), how many the transfer makes before it gives up, the
  // wait in milliseconds, and what it waits for ("server" or "network").
  uint32_t attempt = 0;
  uint32_t attempts = 0;
  uint64_t retryInMs = 0;
  std::string waitingFor;
  // A download's bytes kept from an earlier one that it continues from, and those a stopped
  // one keeps for the next download of the same file; each sent only when not 0.
  uint64_t continuesFrom = 0;
  uint64_t kept = 0;
};

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string Base64Encode(std::string_view bytes);

// The compact JSON text of the payload: {"cbid":..,"done":..,"jsp":..,"message":..,"name":..,
// "result":..,"todo":..}, with "attempt", "attempts", "retryInMs" and "waitingFor" besides
// (in key order) only while `attempt` is not 0, and "continuesFrom" and "kept" each only when
// not 0. Strings that are not valid UTF-8 are written with
// U+FFFD in place of the bad bytes; this never throws.
std::string SerializeCallbackPayload(const CallbackPayload& payload);

// Base64 of SerializeCallbackPayload: the argument text for the page's callback functions.
std::string EncodeCallbackPayload(const CallbackPayload& payload);
