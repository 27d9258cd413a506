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
};

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks).
std::string Base64Encode(std::string_view bytes);

// The compact JSON text of the payload: {"cbid":..,"done":..,"jsp":..,"message":..,"name":..,
// "result":..,"todo":..}. Strings that are not valid UTF-8 are written with U+FFFD in place of
// the bad bytes; this never throws.
std::string SerializeCallbackPayload(const CallbackPayload& payload);

// Base64 of SerializeCallbackPayload: the argument text for the page's callback functions.
std::string EncodeCallbackPayload(const CallbackPayload& payload);
