#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/web_view.h"

// A web view for tests: records what the host asks of it and lets the test post page messages.
// Scripts are recorded, not run.
class FakeWebView : public WebView {
 public:
  void SetContextMenusEnabled(bool enabled) override { contextMenusEnabled = enabled; }
  void SetDevToolsEnabled(bool enabled) override { devToolsEnabled = enabled; }
  void MapFolderToHost(const std::string& hostName, const std::filesystem::path& folder) override;
  void FillWindow() override { filledWindow = true; }
  void SetMessageHandler(MessageHandler handler) override;
  void SetTitleHandler(TitleHandler handler) override { titleHandler = std::move(handler); }
  void ClearBrowserCache() override { calls.push_back("clearCache"); }
  void Navigate(const std::string& url) override;
  void ExecuteScript(const std::string& script) override { scripts.push_back(script); }
  void OpenDevToolsWindow() override { ++devToolsOpened; }
  bool IsPageAlive() const override { return pageAlive; }

  // Delivers `json` as if the page had posted it. False when no handler is registered.
  bool PostFromPage(const std::string& json);

  bool contextMenusEnabled = false;
  bool devToolsEnabled = false;
  bool filledWindow = false;
  bool pageAlive = true;
  int devToolsOpened = 0;
  std::string mappedHost;
  std::filesystem::path mappedFolder;
  std::vector<std::string>
      calls;  // setup calls in order: "handler", "clearCache", "navigate:<url>"
  std::vector<std::string> scripts;
  MessageHandler handler;
  TitleHandler titleHandler;  // the page's title changes reach it
};
