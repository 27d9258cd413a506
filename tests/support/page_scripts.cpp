#include "support/page_scripts.h"

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
  // Matched by hand: std::regex recurses per character and overflows on large answers.
  for (const char* function : {"onActionProgress", "onActionComplete"}) {
    const std::string head = std::string("window.") + function + " && window." + function + "('";
    const std::string tail = "');";
    if (script.size() < head.size() + tail.size() || script.compare(0, head.size(), head) != 0 ||
        script.compare(script.size() - tail.size(), tail.size(), tail) != 0) {
      continue;
    }
    PageCallback callback;
    callback.function = function;
    callback.base64 = script.substr(head.size(), script.size() - head.size() - tail.size());
    if (callback.base64.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
        std::string::npos) {
      return std::nullopt;
    }
    callback.json = Base64Decode(callback.base64);
    callback.payload = nlohmann::json::parse(callback.json, nullptr, false);
    return callback;
  }
  return std::nullopt;
}

std::vector<PageCallback> ParseCallbackScripts(const std::vector<std::string>& scripts) {
  std::vector<PageCallback> callbacks;
  for (const std::string& script : scripts) {
    // A burst runs as one script with each callback on a line of its own.
    size_t begin = 0;
    while (begin <= script.size()) {
      size_t end = script.find('\n', begin);
      if (end == std::string::npos) end = script.size();
      if (auto callback = ParseCallbackScript(script.substr(begin, end - begin))) {
        callbacks.push_back(std::move(*callback));
      }
      begin = end + 1;
    }
  }
  return callbacks;
}
