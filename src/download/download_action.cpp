#include "app/setup_web_view.h"

// Being built.
void SetupWebView::DoDownload(nlohmann::json) {}
