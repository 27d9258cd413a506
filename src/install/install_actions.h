#pragma once

#include <memory>

#include <nlohmann/json.hpp>

class ActionContext;
class ActionRegistry;
class SystemRestart;

// The installation's page actions:
//   doUnZip          extracts an archive into a new working folder (unzip_action.cpp)
//   doLaunchSetup    starts the setup program and waits for it (launch_action.cpp)
//   doFindProduct    where the installed product is (product_actions.cpp)
//   doOpenProduct    starts the installed product without waiting (product_actions.cpp)
//   doRestartSystem  asks the system to restart, for a setup that needs it (restart_action.cpp)
// `restart` is the system's restart (tests give their own).
void RegisterInstallActions(ActionRegistry& actions, std::shared_ptr<SystemRestart> restart);

void DoUnZip(ActionContext& context, const nlohmann::json& message);
void DoLaunchSetup(ActionContext& context, const nlohmann::json& message);
void DoFindProduct(ActionContext& context, const nlohmann::json& message);
void DoOpenProduct(ActionContext& context, const nlohmann::json& message);
// Answers from a worker thread once the system has answered.
void DoRestartSystem(ActionContext& context, const nlohmann::json& message,
                     std::shared_ptr<SystemRestart> restart);
