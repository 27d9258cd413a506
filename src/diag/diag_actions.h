#pragma once

#include <nlohmann/json.hpp>

class ActionContext;
class WorkInFlight;
class ActionRegistry;

// The diagnostics' page actions:
//   doGetSysInfo    answers a fresh machine snapshot (get_sys_info_action.cpp)
//   doGetFreeSpace  answers the room left where downloads go (free_space_action.cpp)
//   postToTeams     posts the page's issue report as a card (post_to_teams_action.cpp)
void RegisterDiagActions(ActionRegistry& actions);

void DoGetSysInfo(ActionContext& context, const nlohmann::json& message);
void DoGetFreeSpace(ActionContext& context, const nlohmann::json& message);
void PostToTeams(ActionContext& context, const nlohmann::json& message);

// Issue reports still on their way to the webhook. The process's end waits for them a while
// (app/startup.cpp), so a report sent just before the window closed is not cut off.
WorkInFlight& IssueReportsInFlight();
