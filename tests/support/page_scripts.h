#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// Reading the scripts the host sends to the page, the way the page itself would.

struct PageCallback {
  std::string function;    // "onActionProgress" or "onActionComplete"
  std::string base64;      // the argument as sent
  std::string json;        // its decoded bytes
  nlohmann::json payload;  // parsed
};

std::string Base64Decode(const std::string& text);

// Parses "window.F && window.F('<base64>');". nullopt for any other script.
std::optional<PageCallback> ParseCallbackScript(const std::string& script);

// Every callback among `scripts`, in order, also those batched into one script.
std::vector<PageCallback> ParseCallbackScripts(const std::vector<std::string>& scripts);
