#pragma once

#include <string>

// The two scripts that carry an answer to the page. "{}" stands for the Base64 of the answer's
// CallbackPayload (bridge/callback_payload.h). PageResponder implementations build them.
inline constexpr char kProgressScriptTemplate[] =
    "window.onActionProgress && window.onActionProgress('{}');";
inline constexpr char kCompletionScriptTemplate[] =
    "window.onActionComplete && window.onActionComplete('{}');";

// `scriptTemplate` with its "{}" replaced by `argument`.
std::string FormatScript(const char* scriptTemplate, const std::string& argument);
