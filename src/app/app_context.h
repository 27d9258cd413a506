#pragma once

class NativeWindow;
class SetupWebView;

// The process-wide application record. Created once at start-up and never freed.
struct AppContext {
  void* hInstance = nullptr;     // the module handle on Windows; unused on Linux
  NativeWindow* hwnd = nullptr;  // the main window; null until created, then never changed
};

// Both are written once on the window thread before any worker exists, and never freed.
extern AppContext* g_app;
extern SetupWebView* g_setupWebView;
