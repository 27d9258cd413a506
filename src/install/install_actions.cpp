#include "app/setup_web_view.h"

// Being built.
void SetupWebView::DoUnZip(nlohmann::json) {}
void SetupWebView::DoLaunchSetup(nlohmann::json) {}
