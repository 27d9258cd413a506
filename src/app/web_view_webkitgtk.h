#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/page_policy.h"
#include "app/ui_manifest.h"
#include "app/web_view.h"

typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _WebKitWebsiteDataManager WebKitWebsiteDataManager;
class GtkNativeWindow;

// The web view on WebKitGTK 4.1.
//
// The UI folder is served under the custom scheme of ui_scheme.h (app://<host>/...); the start
// page's https URL is mapped onto it. The page gets window.chrome.webview.postMessage(obj),
// which posts JSON.stringify(obj), from a script injected at document start into the top frame.
//
// Security: page_policy.h decides, under the UI origin app://<host>. The message channel cannot
// tell who posted, so a message counts as the shown page's; every navigation (WebKit's policy
// decision does not say of which frame) is asked about; a new window is never opened, and a
// request the policy sends to the browser goes to the desktop's default browser.
// With a key built in, the folder is served only as its signed manifest lists it (ui_manifest.h):
// checked whole when mapped, and each file again as it is served, so that a file changed after
// the start is refused too. A folder that fails shows kUiRefusedText in the window, not the page.
// Profile data (local storage, caches) lives in a folder of this program under the user's
// data and cache folders, never in another program's.
class WebKitGtkWebView : public WebView {
 public:
  explicit WebKitGtkWebView(GtkNativeWindow& window);
  ~WebKitGtkWebView() override;

  WebKitGtkWebView(const WebKitGtkWebView&) = delete;
  WebKitGtkWebView& operator=(const WebKitGtkWebView&) = delete;

  void SetContextMenusEnabled(bool enabled) override;
  void SetDevToolsEnabled(bool enabled) override;
  void MapFolderToHost(const std::string& hostName, const std::filesystem::path& folder) override;
  void FillWindow() override;
  void SetMessageHandler(MessageHandler handler) override;
  void SetTitleHandler(TitleHandler handler) override;
  void ClearBrowserCache() override;
  void Navigate(const std::string& url) override;
  void ExecuteScript(const std::string& script) override;
  void OpenDevToolsWindow() override;
  bool IsPageAlive() const override { return pageAlive_; }

 private:
  struct Callbacks;
  friend struct Callbacks;

  void LogSettings() const;

  GtkNativeWindow& window_;
  WebKitWebsiteDataManager* dataManager_ = nullptr;
  WebKitWebContext* context_ = nullptr;
  WebKitUserContentManager* contentManager_ = nullptr;
  WebKitWebView* view_ = nullptr;  // a reference of our own: valid after the window is gone
  bool viewAlive_ = true;          // false once GTK destroyed the widget with the window
  bool pageAlive_ = true;
  bool contextMenus_ = false;
  std::string host_;
  PagePolicy policy_;  // of app://<host_>, once the folder is mapped
  std::filesystem::path folder_;
  std::optional<UiManifest> signedUi_;  // set when a key is built in and the folder verified
  bool uiRefused_ = false;              // a key is built in and the folder did not verify
  MessageHandler handler_;
  TitleHandler titleHandler_;
};

// Creates WebKitGtkWebView objects for a GtkNativeWindow. The view is handed over from the
// main loop, as a platform whose web view starts asynchronously would.
class WebKitGtkEnvironment : public WebViewEnvironment {
 public:
  void CreateWebView(NativeWindow& window, ReadyCallback ready) override;
};
