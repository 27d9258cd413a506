#include "app/setup_web_view.h"

// Being built.
void SetupWebView::DoGetSysInfo(const std::string&) {}
void SetupWebView::PostToTeams(nlohmann::json) {}
