#pragma once

#include <cstddef>
#include <string_view>

class ActionContext;
class ActionRegistry;

// The longest page message the dispatcher takes, in bytes; longer ones are dropped with a
// warning. Far above what any page sends, far below what would swell the host's memory.
inline constexpr size_t kMaxPageMessageBytes = 8 * 1024 * 1024;

// Entry of every page message: parses `text` as a JSON object and runs the handler of the action
// it names (ActionRegistry::Find) with `context`. A message without a known action does nothing.
//
// Never throws. A message that is too large, nested too deep, not a JSON object, or whose
// "callbackId" is not a string is dropped with one WARN line ("Dropped page message: ..."), and
// so is one whose handler throws; the page then gets no answer.
// Window thread only.
void DispatchPageMessage(const ActionRegistry& actions, ActionContext& context,
                         std::string_view text);
