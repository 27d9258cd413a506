#include "app/app_context.h"

AppContext* g_app = nullptr;
SetupWebView* g_setupWebView = nullptr;
