#include "app/web_view_webview2.h"

#include <windows.h>

#include "app/page_policy.h"
#include "app/users_browser_win.h"
//
#include <WebView2.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <cwchar>
#include <utility>

#include "app/com_handler_win.h"
#include "app/setup_web_view.h"
#include "app/ui_manifest.h"
#include "app/verified_loader_win.h"
#include "app/window_win.h"
#include "base/elevation.h"
#include "base/environment.h"
#include "base/hex_string.h"
#include "base/protected_folder_win.h"
#include "base/utf_convert.h"
#include "log/logger.h"
#include "trust/built_in_trust.h"

using Microsoft::WRL::ComPtr;

namespace {

using CreateEnvironmentFunction =
    HRESULT(STDAPICALLTYPE*)(PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*);

using EnvironmentHandler = ComHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                      HRESULT, ICoreWebView2Environment*>;
using ControllerHandler = ComHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                     HRESULT, ICoreWebView2Controller*>;
using MessageHandler = ComHandler<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                                  ICoreWebView2WebMessageReceivedEventArgs*>;
using NavigationHandler = ComHandler<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                                     ICoreWebView2NavigationStartingEventArgs*>;
using NewWindowHandler = ComHandler<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                                    ICoreWebView2NewWindowRequestedEventArgs*>;
using ProcessFailedHandler = ComHandler<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                                        ICoreWebView2ProcessFailedEventArgs*>;
using TitleChangedHandler =
    ComHandler<ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*, IUnknown*>;

std::u16string Wide(std::string_view text) {
  return Utf8ToUtf16(text);
}

const wchar_t* AsWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Takes a string the runtime allocated, freeing it.
std::string TakeRuntimeString(LPWSTR text) {
  if (text == nullptr) return {};
  std::string result = Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
  CoTaskMemFree(text);
  return result;
}

class WebView2WebView : public WebView {
 public:
  WebView2WebView(Win32NativeWindow& window, ComPtr<ICoreWebView2Controller> controller,
                  ComPtr<ICoreWebView2> webView, ComPtr<ICoreWebView2_3> webView3)
      : window_(window),
        hwnd_(static_cast<HWND>(window.handle())),
        controller_(std::move(controller)),
        webView_(std::move(webView)),
        webView3_(std::move(webView3)) {
    WatchNavigation();
    WatchNewWindows();
    WatchProcessFailures();
    // A new DPI resizes the window: the view (or the refusal's text) follows its client area.
    window_.SetClientAreaListener([this] { Layout(); });
  }

  ~WebView2WebView() override {
    window_.SetClientAreaListener(nullptr);
    if (label_ != nullptr && IsWindow(label_)) DestroyWindow(label_);  // before its font goes
    if (labelFont_ != nullptr) DeleteObject(labelFont_);
  }

  WebView2WebView(const WebView2WebView&) = delete;
  WebView2WebView& operator=(const WebView2WebView&) = delete;

  void SetContextMenusEnabled(bool enabled) override {
    ComPtr<ICoreWebView2Settings> settings;
    if (SUCCEEDED(webView_->get_Settings(&settings)) && settings) {
      settings->put_AreDefaultContextMenusEnabled(enabled ? TRUE : FALSE);
    }
  }

  void SetDevToolsEnabled(bool enabled) override {
    ComPtr<ICoreWebView2Settings> settings;
    if (SUCCEEDED(webView_->get_Settings(&settings)) && settings) {
      settings->put_AreDevToolsEnabled(enabled ? TRUE : FALSE);
    }
  }

  void MapFolderToHost(const std::string& hostName, const std::filesystem::path& folder) override {
    policy_ = PagePolicy("https", hostName);
    std::filesystem::path served = folder;
    // With a key built in, the page is the one its vendor signed or none: it drives the host.
    // The runtime reads the mapped folder on its own, so it is given a checked private copy,
    // never the folder beside the program.
    if (const std::span<const uint8_t> key = BuiltInArchiveKey(); !key.empty()) {
      std::string why;
      const std::optional<std::filesystem::path> copy = CopySignedUiFolder(folder, key, why);
      if (!copy) {
        uiRefused_ = true;
        pageAlive_ = false;  // no page will answer the close button: it closes at once
        Logger::Log(LogLevel::Error, "engine", "The UI folder was refused: " + why);
        return;
      }
      served = *copy;
    }
    const std::u16string wideHost = Wide(hostName);
    const std::u16string wideFolder = served.u16string();
    webView3_->SetVirtualHostNameToFolderMapping(AsWide(wideHost), AsWide(wideFolder),
                                                 COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW);
  }

  void FillWindow() override {
    filled_ = true;
    if (uiRefused_) ShowRefusal();
    Layout();
  }

  void SetMessageHandler(WebView::MessageHandler handler) override {
    handler_ = std::move(handler);
    if (messagesWatched_) return;
    messagesWatched_ = true;
    auto* received = new ::MessageHandler(
        IID_ICoreWebView2WebMessageReceivedEventHandler,
        [this](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) {
          OnMessage(args);
          return S_OK;
        });
    EventRegistrationToken token = {};
    webView_->add_WebMessageReceived(received, &token);
    received->Release();
  }

  void SetTitleHandler(WebView::TitleHandler handler) override {
    titleHandler_ = std::move(handler);
    if (titleWatched_) return;
    titleWatched_ = true;
    auto* changed = new TitleChangedHandler(IID_ICoreWebView2DocumentTitleChangedEventHandler,
                                            [this](ICoreWebView2*, IUnknown*) {
                                              LPWSTR title = nullptr;
                                              if (FAILED(webView_->get_DocumentTitle(&title)))
                                                title = nullptr;
                                              const std::string text = TakeRuntimeString(title);
                                              LPWSTR source = nullptr;
                                              if (FAILED(webView_->get_Source(&source)))
                                                source = nullptr;
                                              const std::string shown = TakeRuntimeString(source);
                                              if (titleHandler_)
                                                titleHandler_(WindowTitleFor(text, shown));
                                              return S_OK;
                                            });
    EventRegistrationToken token = {};
    webView_->add_DocumentTitleChanged(changed, &token);
    changed->Release();
  }

  void ClearBrowserCache() override {
    webView_->CallDevToolsProtocolMethod(L"Network.clearBrowserCache", L"{}", nullptr);
  }

  void Navigate(const std::string& url) override {
    if (uiRefused_) return;
    const std::u16string wide = Wide(url);
    webView_->Navigate(AsWide(wide));
  }

  void ExecuteScript(const std::string& script) override {
    const std::u16string wide = Wide(script);
    webView_->ExecuteScript(AsWide(wide), nullptr);
  }

  void OpenDevToolsWindow() override { webView_->OpenDevToolsWindow(); }

  bool IsPageAlive() const override { return pageAlive_; }

 private:
  // Native text in the window instead of the view, which never loads anything.
  void ShowRefusal() {
    controller_->put_IsVisible(FALSE);
    const std::u16string text = Wide(kUiRefusedText);
    label_ = CreateWindowExW(0, L"STATIC", AsWide(text), WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 0, 0,
                             0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
  }

  // The view's bounds are the client area, in pixels; the refusal's text keeps its margins and
  // its font size in device-independent pixels. Nothing before FillWindow.
  void Layout() {
    if (!filled_) return;
    RECT client = {};
    GetClientRect(hwnd_, &client);
    if (!uiRefused_) {
      controller_->put_Bounds(client);
      Logger::Log(LogLevel::Info, "engine",
                  "WebView fills the client area: " + std::to_string(client.right) + " x " +
                      std::to_string(client.bottom) + " pixels at " +
                      std::to_string(window_.Dpi()) + " DPI");
      return;
    }
    if (label_ == nullptr) return;
    const unsigned dpi = window_.Dpi();
    const int margin = MulDiv(32, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
    MoveWindow(label_, margin, client.bottom / 3, client.right - 2 * margin, client.bottom / 2,
               TRUE);
    if (dpi == labelFontDpi_) return;
    // The system's message font at this DPI; the stock font where it cannot be had.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    HFONT font = nullptr;
    if (SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi))
      font = CreateFontIndirectW(&metrics.lfMessageFont);
    SendMessageW(
        label_, WM_SETFONT,
        reinterpret_cast<WPARAM>(font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    if (labelFont_ != nullptr) DeleteObject(labelFont_);
    labelFont_ = font;
    labelFontDpi_ = dpi;
  }

  void OnMessage(ICoreWebView2WebMessageReceivedEventArgs* args) {
    if (args == nullptr || !handler_) return;
    LPWSTR source = nullptr;
    args->get_Source(&source);
    const std::string origin = TakeRuntimeString(source);
    // Any document the view shows could post: the policy decides by the one that did.
    if (!policy_.MayDeliverMessage(origin)) {
      Logger::Log(LogLevel::Warn, "engine", "Ignored a page message from " + origin);
      return;
    }
    LPWSTR json = nullptr;
    if (FAILED(args->get_WebMessageAsJson(&json)) || json == nullptr) return;
    // Every UTF-16 unit becomes at least one UTF-8 byte, so a message of more units than the
    // dispatcher takes bytes is refused there anyway: only that much is converted, never a
    // page's whole gigabyte.
    const size_t units = wcsnlen(json, SetupWebView::kMaxMessageBytes + 1);
    const std::string text =
        Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(json), units));
    CoTaskMemFree(json);
    // A copy: the handler may replace itself while it runs.
    const WebView::MessageHandler handler = handler_;
    handler(text);
  }

  // The page's and its frames' navigations alike.
  void WatchNavigation() {
    auto* starting = new NavigationHandler(
        IID_ICoreWebView2NavigationStartingEventHandler,
        [this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
          if (args == nullptr) return S_OK;
          LPWSTR uri = nullptr;
          args->get_Uri(&uri);
          const std::string target = TakeRuntimeString(uri);
          if (!policy_.MayNavigate(target)) {
            // Any other site could otherwise download and launch programs through the host.
            Logger::Log(LogLevel::Warn, "engine", "Refused navigation to " + target);
            args->put_Cancel(TRUE);
          }
          return S_OK;
        });
    EventRegistrationToken token = {};
    webView_->add_NavigationStarting(starting, &token);
    webView_->add_FrameNavigationStarting(starting, &token);
    starting->Release();
  }

  void WatchNewWindows() {
    auto* requested = new NewWindowHandler(
        IID_ICoreWebView2NewWindowRequestedEventHandler,
        [this](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
          if (args == nullptr) return S_OK;
          // Handled without a new window: the program never hosts another page.
          args->put_Handled(TRUE);
          LPWSTR uri = nullptr;
          args->get_Uri(&uri);
          const std::string target = TakeRuntimeString(uri);
          BOOL userInitiated = FALSE;
          args->get_IsUserInitiated(&userInitiated);
          LPWSTR source = nullptr;
          webView_->get_Source(&source);
          const std::string shown = TakeRuntimeString(source);
          if (policy_.DecideNewWindow(target, userInitiated != FALSE, shown) ==
              PagePolicy::NewWindow::kOpenInBrowser) {
            OpenInUsersBrowser(AsWide(Wide(target)));
          } else {
            Logger::Log(LogLevel::Warn, "engine", "Refused to open a new window for " + target);
          }
          return S_OK;
        });
    EventRegistrationToken token = {};
    webView_->add_NewWindowRequested(requested, &token);
    requested->Release();
  }

  void WatchProcessFailures() {
    auto* failed = new ProcessFailedHandler(
        IID_ICoreWebView2ProcessFailedEventHandler,
        [this](ICoreWebView2*, ICoreWebView2ProcessFailedEventArgs* args) {
          COREWEBVIEW2_PROCESS_FAILED_KIND kind =
              COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
          if (args != nullptr) args->get_ProcessFailedKind(&kind);
          // An exited renderer or browser leaves no page to answer the close request; other
          // helper processes come back by themselves. An unresponsive renderer is not dead: it
          // is often busy for a moment, and a close that skipped the page would skip its
          // cancel and clean-up with it.
          if (kind == COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED ||
              kind == COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED) {
            pageAlive_ = false;
          }
          Logger::Log(
              LogLevel::Error, "engine",
              "WebView process failed (kind " + std::to_string(static_cast<int>(kind)) + ")");
          return S_OK;
        });
    EventRegistrationToken token = {};
    webView_->add_ProcessFailed(failed, &token);
    failed->Release();
  }

  Win32NativeWindow& window_;  // outlives the view (the program never destroys its window)
  HWND hwnd_;
  ComPtr<ICoreWebView2Controller> controller_;
  ComPtr<ICoreWebView2> webView_;
  ComPtr<ICoreWebView2_3> webView3_;
  PagePolicy policy_;  // of https://<host>, once the folder is mapped
  WebView::MessageHandler handler_;
  bool messagesWatched_ = false;
  WebView::TitleHandler titleHandler_;
  bool titleWatched_ = false;
  bool pageAlive_ = true;
  bool uiRefused_ = false;  // a key is built in and the UI folder did not verify
  bool filled_ = false;     // FillWindow ran: the layout follows the client area from then on
  HWND label_ = nullptr;    // the refusal's text, when the folder was refused
  HFONT labelFont_ = nullptr;
  unsigned labelFontDpi_ = 0;
};

// One start of the web view: hands `ready` exactly one result, whichever way the start ends.
struct Start {
  Win32NativeWindow* window = nullptr;
  HWND hwnd = nullptr;
  WebViewEnvironment::ReadyCallback ready;

  void Fail(const std::string& why) {
    Logger::Log(LogLevel::Error, "engine", "WebView could not start: " + why);
    Finish(nullptr);
  }
  void Finish(std::unique_ptr<WebView> view) {
    if (!ready) return;
    auto callback = std::move(ready);
    ready = nullptr;
    callback(std::move(view));
  }
};

HRESULT OnController(const std::shared_ptr<Start>& start, HRESULT result,
                     ICoreWebView2Controller* controller) {
  if (FAILED(result) || controller == nullptr) {
    start->Fail("no controller (" + ToHexString(static_cast<uint32_t>(result)) + ")");
    return E_FAIL;
  }
  ComPtr<ICoreWebView2> webView;
  controller->get_CoreWebView2(&webView);
  ComPtr<ICoreWebView2_3> webView3;
  if (webView)
    webView->QueryInterface(IID_ICoreWebView2_3, reinterpret_cast<void**>(webView3.GetAddressOf()));
  if (!webView3) {
    // Without the folder mapping the page cannot load at all.
    start->Fail("the runtime cannot map the UI folder");
    return E_FAIL;
  }
  start->Finish(std::make_unique<WebView2WebView>(*start->window, controller, std::move(webView),
                                                  std::move(webView3)));
  return S_OK;
}

HRESULT OnEnvironment(const std::shared_ptr<Start>& start, HRESULT result,
                      ICoreWebView2Environment* environment) {
  if (FAILED(result) || environment == nullptr) {
    start->Fail("no environment (" + ToHexString(static_cast<uint32_t>(result)) + ")");
    return E_FAIL;
  }
  auto* handler =
      new ControllerHandler(IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                            [start](HRESULT created, ICoreWebView2Controller* controller) {
                              return OnController(start, created, controller);
                            });
  const HRESULT called = environment->CreateCoreWebView2Controller(start->hwnd, handler);
  handler->Release();
  if (FAILED(called))
    start->Fail("no controller (" + ToHexString(static_cast<uint32_t>(called)) + ")");
  return called;
}

}  // namespace

std::filesystem::path WebView2LoaderBeside(const std::filesystem::path& executable) {
  return executable.parent_path() / "WebView2Loader.dll";
}

bool IsUiHttpsOrigin(std::string_view url, std::string_view host) {
  return IsDocumentOfOrigin(url, "https", host);
}

WebView2Environment::WebView2Environment(std::filesystem::path loaderPath, std::string loaderSha256)
    : loaderPath_(std::move(loaderPath)), loaderSha256_(std::move(loaderSha256)) {}

void WebView2Environment::CreateWebView(NativeWindow& window, ReadyCallback ready) {
  auto start = std::make_shared<Start>();
  start->ready = std::move(ready);
  auto* win32 = dynamic_cast<Win32NativeWindow*>(&window);
  if (win32 == nullptr || win32->handle() == nullptr) {
    start->Fail("no window");
    return;
  }
  start->window = win32;
  start->hwnd = static_cast<HWND>(win32->handle());

  // Elevated, the environment is partly the user's, and the loader and the runtime read
  // variables from it that override what is passed here (the browser's folder and arguments,
  // the data folder): none of them may reach the loader.
  if (ProcessIsElevated()) {
    for (const std::string& name : RemoveEnvironmentVariablesStartingWith("WEBVIEW2_")) {
      Logger::Log(LogLevel::Warn, "engine", name + " is ignored: the program runs elevated");
    }
  }
  // By full path only: the search order of a bare name would let a planted DLL run elevated.
  // Its own dependencies come from System32, never from the folder it shares with the program.
  static HMODULE loader = nullptr;
  if (loader == nullptr) {
    const LoaderLoad load = LoadVerifiedLoader(loaderPath_, loaderSha256_);
    if (load.outcome == LoaderLoad::Outcome::kChanged) {
      Logger::Log(LogLevel::Error, "engine", "The web view loader was refused: " + load.why);
      Logger::Flush();
      const std::u16string text = Wide(kLoaderRefusedText);
      MessageBoxW(start->hwnd, AsWide(text), L"Setup", MB_OK | MB_ICONERROR);
    }
    if (load.module == nullptr) {
      start->Fail(load.why);
      return;
    }
    loader = load.module;
  }
  const auto create = reinterpret_cast<CreateEnvironmentFunction>(
      reinterpret_cast<void*>(GetProcAddress(loader, "CreateCoreWebView2EnvironmentWithOptions")));
  if (create == nullptr) {
    start->Fail("the loader has no CreateCoreWebView2EnvironmentWithOptions");
    return;
  }
  // Its own data folder, never the default beside the executable: the runtime keeps its cache,
  // settings and components there, which a user could change under an elevated program.
  std::error_code dataError;
  const std::filesystem::path userData = OwnStateFolder("WebView2", dataError);
  if (dataError) {
    start->Fail("no safe folder for the web view's data (" + dataError.message() + ")");
    return;
  }
  auto* handler =
      new EnvironmentHandler(IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                             [start](HRESULT result, ICoreWebView2Environment* environment) {
                               return OnEnvironment(start, result, environment);
                             });
  const HRESULT called = create(nullptr, userData.c_str(), nullptr, handler);
  handler->Release();
  if (FAILED(called))
    start->Fail("no environment (" + ToHexString(static_cast<uint32_t>(called)) + ")");
}
