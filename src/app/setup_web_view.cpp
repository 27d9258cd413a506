#include "app/setup_web_view.h"

#include "app/app_actions.h"
#include "app/ui_manifest.h"
#include "app/web_view.h"
#include "app/window_messages.h"
#include "app/window_responder.h"
#include "base/elevation.h"
#include "base/utf8_path.h"
#include "bridge/bridge_actions.h"
#include "bridge/dev_environment.h"
#include "bridge/page_worker.h"
#include "log/log_folder.h"
#include "log/logger.h"
#include "trust/built_in_trust.h"

namespace {

// The vendor packaged the program with --no-key: say what that costs where it matters most.
constexpr char kElevatedWithoutKeyText[] =
    "Running with administrator rights without a built-in key: the page, its config.json and "
    "the programs it names are not verified, so any program that can write beside this one can "
    "steer it";

}  // namespace

std::string StartPageUrl() {
  return std::string("https://") + UiVirtualHost + "/index.html";
}

std::filesystem::path UiFolderForExecutable(const std::filesystem::path& executable) {
  return executable.parent_path() / "UI";
}

SetupWebView::SetupWebView(NativeWindow* hwnd)
    : SetupWebView(hwnd, UiFolderForExecutable(CurrentExecutablePath())) {
  Logger::Initialize(PathToUtf8(DefaultLogFolder()), "Quillfetch");
}

SetupWebView::SetupWebView(NativeWindow* hwnd, std::filesystem::path uiFolder)
    : window_(hwnd), uiFolder_(std::move(uiFolder)) {
  auto responder = std::make_shared<WindowResponder>(window_);
  windowResponder_ = responder.get();
  responder_ = std::move(responder);
  RegisterAllActions(actions_, *this);
  if (window_ != nullptr) window_->AttachPage(this);
  if (ProcessIsElevated() && BuiltInArchiveKey().empty()) {
    Logger::Log(LogLevel::Warn, "engine", kElevatedWithoutKeyText);
  }
}

SetupWebView::~SetupWebView() {
  // Workers that outlive the host keep the responder; it drops their answers from now on.
  windowResponder_->Retarget(nullptr);
  if (window_ != nullptr) window_->DetachPage(this);
}

void SetupWebView::Initialize(WebViewEnvironment& environment) {
  Logger::Log(LogLevel::Info, "engine", "SetupWebView::Initialize called");
  environment.CreateWebView(*window_, [this](std::unique_ptr<WebView> webView) {
    if (webView) OnWebViewReady(std::move(webView));
  });
}

void SetupWebView::OnWebViewReady(std::unique_ptr<WebView> webView) {
  webView_ = std::move(webView);
  const bool dev = IsDevEnvironment();
  webView_->SetContextMenusEnabled(dev);
  webView_->SetDevToolsEnabled(dev);
  webView_->MapFolderToHost(UiVirtualHost, uiFolder_);
  webView_->FillWindow();
  // Registered before navigating, so a message posted during the first load is not lost.
  webView_->SetMessageHandler([this](const std::string& json) { OnWebMessageReceived(json); });
  // The window is named after the page: the title bar, the taskbar and screen readers say it.
  webView_->SetTitleHandler([this](const std::string& title) {
    if (window_ != nullptr) window_->SetTitle(title);
  });
  webView_->ClearBrowserCache();
  webView_->Navigate(StartPageUrl());
  Logger::Log(LogLevel::Info, "engine", "WebView navigated to start page");
}

void SetupWebView::OnWebMessageReceived(std::string_view json) {
  DispatchPageMessage(actions_, *this, json);
}

void SetupWebView::AnswerThrough(NativeWindow* window) {
  windowResponder_->Retarget(window);
}

void SetupWebView::ResetWebView() {
  webView_.reset();
}

void SetupWebView::Close() {
  if (!closing_.exchange(true)) {
    CancelWorkers(*this, std::string());
    StartCleanUp(*this, std::string());
  }
  window_->Post(IsBusy() ? WM_CLOSE_REQUEST : WM_DESTROY_NOW, 0, 0);
}

void SetupWebView::CloseOverride() {
  window_->Post(WM_DESTROY_NOW, 0, 0);
}

void SetupWebView::Minimize() {
  window_->ShowMinimized();
}

void SetupWebView::OpenDevTools() {
  if (IsDevEnvironment() && webView_ != nullptr) webView_->OpenDevToolsWindow();
}

void SetupWebView::HideWindow() {
  if (window_ != nullptr) window_->Hide();
}

bool SetupWebView::IsBusy() const {
  if (download_ && download_->running.load()) return true;
  if (zip_ && zip_->running.load()) return true;
  return cleaningUp_->load();
}

bool SetupWebView::CanAnswer() const {
  return webView_ != nullptr && webView_->IsPageAlive();
}

void SetupWebView::RunScript(const std::string& script) {
  if (webView_ != nullptr) webView_->ExecuteScript(script);
}

std::optional<std::string> SetupWebView::ReadPageFile(const std::string& name, std::string& why) {
  const std::span<const uint8_t> key = BuiltInArchiveKey();
  if (key.empty()) {
    std::optional<std::string> bytes =
        ReadFileUpTo(uiFolder_ / PathFromUtf8(name), kMaxUiFileBytes);
    if (!bytes) why = name + " cannot be read from the UI folder";
    return bytes;
  }
  // The folder is checked again whole, as at start: what the page was shown is what is read.
  const std::optional<UiManifest> manifest = UiManifest::Load(uiFolder_, key, why);
  if (!manifest) return std::nullopt;
  return manifest->ReadListedFile(manifest->Root() / PathFromUtf8(name), why);
}
