#pragma once

class ActionRegistry;
class SetupWebView;

// The window's page actions, served by `host`:
//   doClose             asks to close: cancels and cleans up first, closes once idle
//   doCloseOverride     closes at once, even while workers run
//   doMinimizeWnd       minimises the window
//   OpenDevToolsWindow  opens the developer tools, in the developer environment only
void RegisterWindowActions(ActionRegistry& actions, SetupWebView& host);

// Every action of the program: each subsystem's registration function, once.
void RegisterAllActions(ActionRegistry& actions, SetupWebView& host);
