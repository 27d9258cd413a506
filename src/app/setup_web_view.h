#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

class AppLauncher;
class DownloadEngine;
class NativeWindow;
class WebView;
class WebViewEnvironment;
class ZipEngine;

// The host name under which the UI folder is served to the page.
inline constexpr char UiVirtualHost[] = "quillfetch.localhost";
// "https://" + UiVirtualHost + "/index.html"
std::string StartPageUrl();

// The one object that ties the main window to the web view and holds what the page's actions
// share. Created once at start-up and reached through g_setupWebView.
//
// Threading: everything runs on the window thread except the engines' workers and the clean-up
// thread, which touch only the atomic flags (m_closing, m_cleaningUp and the engines' own) and
// post scripts back through the window.
class SetupWebView {
 public:
  // Computes the UI folder beside the executable and starts the Logger.
  explicit SetupWebView(NativeWindow* hwnd);
  // For tests: a given UI folder, and the Logger left as it is.
  SetupWebView(NativeWindow* hwnd, std::filesystem::path uiFolder);
  ~SetupWebView();

  SetupWebView(const SetupWebView&) = delete;
  SetupWebView& operator=(const SetupWebView&) = delete;

  // Starts the web view; it arrives later through OnWebViewReady.
  void Initialize(WebViewEnvironment& environment);
  // Settings, folder mapping, bounds, message handler, cache clear, navigation.
  void OnWebViewReady(std::unique_ptr<WebView> webView);

  // Entry of every page message: parses the JSON text and dispatches it by action name.
  // Never throws; a malformed message is dropped with one WARN line.
  void OnWebMessageReceived(std::string_view json);
  // The longest message OnWebMessageReceived takes, in bytes; longer ones are dropped with a
  // warning. Far above what any page sends, far below what would swell the host's memory.
  static constexpr size_t kMaxMessageBytes = 8 * 1024 * 1024;

  // Page actions (see docs/page-contract.md). Each answers only through the page posters.
  void DoCancel(const std::string& callbackId);
  void DoCleanUp(const std::string& callbackId);
  void DoDataExchange(const nlohmann::json& message);
  void DoDownload(const nlohmann::json& message);
  void DoGetSysInfo(const std::string& callbackId);
  void DoLaunchSetup(const nlohmann::json& message);
  void DoWriteLog(const nlohmann::json& message);
  void DoGetLogData(const nlohmann::json& message);
  void DoUnZip(const nlohmann::json& message);
  void PostToTeams(const nlohmann::json& message);

  // The inline actions of the dispatcher.
  void DoClose();
  void DoCloseOverride();
  void DoMinimizeWnd();
  void OpenDevToolsWindow();

  // True while a download, an extraction or a clean-up runs.
  bool IsBusy() const;

  // The body of the clean-up thread: removes `dirs`, then answers `callbackId` when not empty.
  static void CleanUpWorker(const std::string& callbackId, std::vector<std::string> dirs);

  std::unique_ptr<WebView> m_webView;  // null until the web view is ready
  NativeWindow* m_hwnd = nullptr;
  std::filesystem::path m_uiFolder;
  // Engines are shared with their workers, so a replaced engine lives until its worker ends.
  std::shared_ptr<ZipEngine> m_zipEngine;
  std::shared_ptr<DownloadEngine> m_downloadEngine;
  std::unique_ptr<AppLauncher> m_appLauncher;
  std::atomic<bool> m_closing{false};
  std::atomic<bool> m_cleaningUp{false};
  std::unique_ptr<nlohmann::json> m_exchangeData;
  // Working folders of downloads and extractions, UTF-8, forward slashes, in creation order.
  std::vector<std::string> m_tempDirs;
  // Extractions of archives this run's downloads verified, in start order (with a key built in).
  // doLaunchSetup then starts only a program inside one of those that ended with 0.
  std::vector<std::shared_ptr<const ZipEngine>> m_verifiedExtractions;
};

// The UI folder for an executable: its parent folder joined with "UI".
std::filesystem::path UiFolderForExecutable(const std::filesystem::path& executable);

// Full path of the running executable.
std::filesystem::path CurrentExecutablePath();
