#pragma once

#include <nlohmann/json.hpp>

class ActionContext;
class ActionRegistry;

// The download's page action:
//   doDownload  fetches fetchDownloadConfig.url into a new working folder (download_action.cpp)
void RegisterDownloadActions(ActionRegistry& actions);

void DoDownload(ActionContext& context, const nlohmann::json& message);
