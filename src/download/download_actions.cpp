#include "download/download_actions.h"

#include "bridge/action_registry.h"

void RegisterDownloadActions(ActionRegistry& actions) {
  actions.Add("doDownload", ActionRegistry::Reach::kOutside, &DoDownload);
}
