#pragma once

#include <nlohmann/json.hpp>

class ActionContext;
class ActionRegistry;

// The installation's page actions:
//   doUnZip        extracts an archive into a new working folder (unzip_action.cpp)
//   doLaunchSetup  starts the setup program and waits for it (launch_action.cpp)
void RegisterInstallActions(ActionRegistry& actions);

void DoUnZip(ActionContext& context, const nlohmann::json& message);
void DoLaunchSetup(ActionContext& context, const nlohmann::json& message);
