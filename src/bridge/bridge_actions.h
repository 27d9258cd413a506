#pragma once

#include <nlohmann/json.hpp>
#include <string>

class ActionContext;
class ActionRegistry;

// The actions that work on the host's shared state alone:
//   doCancel        asks the running download and extraction to stop; answers at once
//   doCleanUp       removes every working folder of this run on a thread of its own
//   doDataExchange  keeps one JSON value for the page across page loads
void RegisterBridgeActions(ActionRegistry& actions);

// doCancel's work, for doClose too: sets the cancel flag of the latest download and extraction,
// then answers `callbackId` unless it is empty.
void CancelWorkers(ActionContext& context, const std::string& callbackId);

// doCleanUp's work, for doClose too: unless a clean-up runs already (the request is then
// dropped), starts a thread that waits for cancelled engines to wind down, removes the working
// folders known now, then answers `callbackId` (with the list of folders) unless it is empty.
void StartCleanUp(ActionContext& context, const std::string& callbackId);

// doDataExchange: "in" stores the whole message (with "subAction" and "callbackId" blanked),
// "out" answers with what was stored, or result 0xFFFFFFFF when nothing was. Needs the web view.
void DoDataExchange(ActionContext& context, const nlohmann::json& message);
