#pragma once

#include <string>

#include "bridge/callback_payload.h"

// The two ways the host answers the page. Both may be called from any thread: they only build
// the script and post it to the main window as WM_RUN_SCRIPT; the window thread runs it.
// A post that fails (the window is gone) frees the script and is otherwise lost.

inline constexpr char kProgressScriptTemplate[] =
    "window.onActionProgress && window.onActionProgress('{}');";
inline constexpr char kCompletionScriptTemplate[] =
    "window.onActionComplete && window.onActionComplete('{}');";

// "window.onActionProgress && window.onActionProgress('<base64>');"
// A report that finds an earlier one of the same callback id still waiting replaces it (the
// page sees the newest figures, never an older one after a newer), so reports cannot fill the
// window's queue while its thread is busy; completions are never merged.
void PostActionProgress(const CallbackPayload& payload);

// Shows the main window first when it is hidden, then posts
// "window.onActionComplete && window.onActionComplete('<base64>');"
void PostActionComplete(const CallbackPayload& payload);

// Hands `script` to the window thread of g_app. Returns false (and frees the script) when the
// window cannot take it.
bool PostScriptToWindow(std::string script);

// `scriptTemplate` with its "{}" replaced by `argument`.
std::string FormatScript(const char* scriptTemplate, const std::string& argument);
