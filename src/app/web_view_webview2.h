#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "app/web_view.h"

// The web view on the platform's embedded browser runtime, reached through its loader DLL
// (CreateCoreWebView2EnvironmentWithOptions) and its COM interfaces. Every call is made on the
// window thread, and the runtime's completions and events arrive there from the message loop.
//
// The UI folder is mapped onto https://<UiVirtualHost>/ by the runtime itself. With a key built
// in, the runtime gets a private copy made from the bytes its signed manifest vouched for
// (ui_manifest.h); a folder that fails shows kUiRefusedText in the window, and no page.
// Security: page_policy.h decides, under the UI origin https://<host>: a page message by the
// document that posted it (the event's source), the page's and every frame's navigation
// (NavigationStarting, FrameNavigationStarting), and a new window by the web view's top-level
// document. No new window is ever opened inside the program; one that the policy sends to the
// browser goes to the user's default browser through the shell.
// Once the runtime reports that the renderer or browser process exited, IsPageAlive is false,
// so the close button no longer waits for a page that cannot answer; an unresponsive renderer
// leaves it true.

// Creates the web view for a Win32NativeWindow. The loader is loaded once, by the full path
// given (never by bare name: the program runs elevated), and kept for the life of the process;
// while elevated only when its bytes hash to `loaderSha256`, and then from a private copy
// (app/verified_loader_win.h). A loader that does not match is refused with a message box
// (kLoaderRefusedText) and an ERROR line. Before it is loaded, an elevated process removes every
// WEBVIEW2_* variable from its environment (each is logged as ignored): the loader and runtime
// would let them override the browser, its arguments and its data folder.
// Any failure (no loader, no entry point, no runtime, no controller, a runtime too old to map a
// folder) is logged and hands `ready` a null view.
class WebView2Environment : public WebViewEnvironment {
 public:
  WebView2Environment(std::filesystem::path loaderPath, std::string loaderSha256);
  void CreateWebView(NativeWindow& window, ReadyCallback ready) override;

 private:
  std::filesystem::path loaderPath_;
  std::string loaderSha256_;
};

// The loader's path for the program at `executable`: WebView2Loader.dll beside it.
std::filesystem::path WebView2LoaderBeside(const std::filesystem::path& executable);

// True when `url` is a document of https://<host> on the default port: what the runtime
// reports as a message's source or a navigation's target. The host is compared ignoring ASCII
// case; user information, another port or a longer host name never match. PagePolicy's rule
// (page_policy.h) for the origin https://<host>.
bool IsUiHttpsOrigin(std::string_view url, std::string_view host);
