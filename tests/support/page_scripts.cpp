#include "support/page_scripts.h"

#include <regex>

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const size_t value = kAlphabet.find(c);
    if (value == std::string::npos) return {};
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
    }
  }
  return out;
}

std::optional<PageCallback> ParseCallbackScript(const std::string& script) {
  static const std::regex kPattern(
      R"(^window\.(onAction(?:Progress|Complete)) && window\.\1\('([A-Za-z0-9+/=]*)'\);$)");
  std::smatch match;
  if (!std::regex_match(script, match, kPattern)) return std::nullopt;
  PageCallback callback;
  callback.function = match[1];
  callback.base64 = match[2];
  callback.json = Base64Decode(callback.base64);
  callback.payload = nlohmann::json::parse(callback.json, nullptr, false);
  return callback;
}

std::vector<PageCallback> ParseCallbackScripts(const std::vector<std::string>& scripts) {
  std::vector<PageCallback> callbacks;
  for (const std::string& script : scripts) {
    if (auto callback = ParseCallbackScript(script)) callbacks.push_back(std::move(*callback));
  }
  return callbacks;
}
