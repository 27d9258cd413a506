#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class NativeWindow;

// The embedded web view, as SetupWebView drives it. One backend per platform (WebKitGTK on
// Linux) and a fake for tests. Every call is made on the window thread.
class WebView {
 public:
  // Receives each message the page posts, as the JSON text of the posted object.
  using MessageHandler = std::function<void(const std::string& json)>;
  // Receives the page's document title (UTF-8) whenever it changes: empty for a document without
  // one, never the runtime's stand-in for it (WindowTitleFor, page_policy.h).
  using TitleHandler = std::function<void(const std::string& title)>;

  virtual ~WebView() = default;

  virtual void SetContextMenusEnabled(bool enabled) = 0;
  virtual void SetDevToolsEnabled(bool enabled) = 0;

  // Serves `folder` to the page under `hostName` (https://hostName/... on Windows; the Linux
  // backend maps that onto a custom scheme). Nothing outside the folder can be read.
  virtual void MapFolderToHost(const std::string& hostName,
                               const std::filesystem::path& folder) = 0;

  // Makes the view fill the window's client area.
  virtual void FillWindow() = 0;

  virtual void SetMessageHandler(MessageHandler handler) = 0;
  virtual void SetTitleHandler(TitleHandler handler) = 0;
  virtual void ClearBrowserCache() = 0;
  virtual void Navigate(const std::string& url) = 0;

  // Runs `script` in the current page, fire and forget.
  virtual void ExecuteScript(const std::string& script) = 0;
  virtual void OpenDevToolsWindow() = 0;

  // False once the page's renderer process has died: nothing can answer the close request.
  virtual bool IsPageAlive() const = 0;
};

// Creates web views. The view arrives later, on the window thread, through `ready`; a failed
// start passes null.
class WebViewEnvironment {
 public:
  using ReadyCallback = std::function<void(std::unique_ptr<WebView>)>;

  virtual ~WebViewEnvironment() = default;
  virtual void CreateWebView(NativeWindow& window, ReadyCallback ready) = 0;
};
