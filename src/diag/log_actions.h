#pragma once

#include <nlohmann/json.hpp>

class ActionContext;
class ActionRegistry;

// The page's access to the Logger (log_actions.cpp):
//   doWriteLog    writes one line
//   doGetLogData  answers the recent lines
// They live with the diagnostics, above vlm_bridge, because the Logger itself sits below it.
void RegisterLogActions(ActionRegistry& actions);

void DoWriteLog(ActionContext& context, const nlohmann::json& message);
void DoGetLogData(ActionContext& context, const nlohmann::json& message);
