#include "app/setup_web_view.h"

#include "app/web_view.h"
#include "base/utf8_path.h"
#include "bridge/dev_environment.h"
#include "download/download_engine.h"
#include "install/app_launcher.h"
#include "install/zip_engine.h"
#include "log/log_folder.h"
#include "log/logger.h"

std::string StartPageUrl() {
  return std::string("https://") + UiVirtualHost + "/index.html";
}

std::filesystem::path UiFolderForExecutable(const std::filesystem::path& executable) {
  return executable.parent_path() / "UI";
}

SetupWebView::SetupWebView(NativeWindow* hwnd)
    : m_hwnd(hwnd), m_uiFolder(UiFolderForExecutable(CurrentExecutablePath())) {
  Logger::Initialize(PathToUtf8(DefaultLogFolder()), "Quillfetch");
}

SetupWebView::SetupWebView(NativeWindow* hwnd, std::filesystem::path uiFolder)
    : m_hwnd(hwnd), m_uiFolder(std::move(uiFolder)) {}

SetupWebView::~SetupWebView() = default;

void SetupWebView::Initialize(WebViewEnvironment& environment) {
  Logger::Log(LogLevel::Info, "engine", "SetupWebView::Initialize called");
  environment.CreateWebView(*m_hwnd, [this](std::unique_ptr<WebView> webView) {
    if (webView) OnWebViewReady(std::move(webView));
  });
}

void SetupWebView::OnWebViewReady(std::unique_ptr<WebView> webView) {
  m_webView = std::move(webView);
  const bool dev = IsDevEnvironment();
  m_webView->SetContextMenusEnabled(dev);
  m_webView->SetDevToolsEnabled(dev);
  m_webView->MapFolderToHost(UiVirtualHost, m_uiFolder);
  m_webView->FillWindow();
  // Registered before navigating, so a message posted during the first load is not lost.
  m_webView->SetMessageHandler([this](const std::string& json) { OnWebMessageReceived(json); });
  m_webView->ClearBrowserCache();
  m_webView->Navigate(StartPageUrl());
  Logger::Log(LogLevel::Info, "engine", "WebView navigated to start page");
}

bool SetupWebView::IsBusy() const {
  if (m_downloadEngine && m_downloadEngine->running.load()) return true;
  if (m_zipEngine && m_zipEngine->running.load()) return true;
  return m_cleaningUp.load();
}
