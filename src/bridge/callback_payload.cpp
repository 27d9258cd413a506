#include "bridge/callback_payload.h"

#include <nlohmann/json.hpp>

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  uint32_t accumulator = 0;
  int bits = -6;
  for (const char c : bytes) {
    accumulator = (accumulator << 8) + static_cast<uint8_t>(c);
    bits += 8;
    while (bits >= 0) {
      out.push_back(kAlphabet[(accumulator >> bits) & 63]);
      bits -= 6;
    }
  }
  if (bits > -6) out.push_back(kAlphabet[((accumulator << 8) >> (bits + 8)) & 63]);
  while (out.size() % 4 != 0) out.push_back('=');
  return out;
}

std::string SerializeCallbackPayload(const CallbackPayload& payload) {
  nlohmann::json object = {
      {"name", payload.name},       {"cbid", payload.cbid},     {"jsp", payload.jsp},
      {"message", payload.message}, {"result", payload.result}, {"done", payload.done},
      {"todo", payload.todo},
  };
  if (payload.attempt != 0) {
    object["attempt"] = payload.attempt;
    object["attempts"] = payload.attempts;
    object["retryInMs"] = payload.retryInMs;
    object["waitingFor"] = payload.waitingFor;
  }
  if (payload.continuesFrom != 0) object["continuesFrom"] = payload.continuesFrom;
  if (payload.kept != 0) object["kept"] = payload.kept;
  // The replace handler writes U+FFFD for bytes that are not UTF-8 instead of throwing: a throw
  // here would end a worker thread and with it the process.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string EncodeCallbackPayload(const CallbackPayload& payload) {
  return Base64Encode(SerializeCallbackPayload(payload));
}
