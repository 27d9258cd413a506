#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/native_window.h"
#include "bridge/action_context.h"
#include "bridge/action_registry.h"
#include "bridge/dispatcher.h"
#include "bridge/page_origin.h"

class WebView;
class WebViewEnvironment;
class WindowResponder;

// "https://" + UiVirtualHost + "/index.html"
std::string StartPageUrl();

// The one object that ties the main window to the web view: it owns the web view, the action
// registry, the responder the page's answers go through, and the small state the actions share
// (ActionContext). Created once at start-up; the window reaches it as its WindowPage.
//
// Lifetime: attaches itself to its window (NativeWindow::AttachPage) and its responder to the
// window; on destruction it detaches both, so workers that outlive it keep a responder that
// drops their answers. The window must outlive the host.
//
// Threading: everything runs on the window thread except the engines' workers and the clean-up
// thread, which touch only the atomic flags (closing, cleaning up and the engines' own) and
// answer through the shared responder.
class SetupWebView final : public ActionContext, public WindowPage {
 public:
  // Computes the UI folder beside the executable and starts the Logger.
  explicit SetupWebView(NativeWindow* hwnd);
  // For tests: a given UI folder, and the Logger left as it is.
  SetupWebView(NativeWindow* hwnd, std::filesystem::path uiFolder);
  ~SetupWebView() override;

  SetupWebView(const SetupWebView&) = delete;
  SetupWebView& operator=(const SetupWebView&) = delete;

  // Starts the web view; it arrives later through OnWebViewReady.
  void Initialize(WebViewEnvironment& environment);
  // Settings, folder mapping, bounds, message handler, cache clear, navigation.
  void OnWebViewReady(std::unique_ptr<WebView> webView);

  // Entry of every page message (bridge/dispatcher.h). Never throws; a malformed message is
  // dropped with one WARN line.
  void OnWebMessageReceived(std::string_view json);
  static constexpr size_t kMaxMessageBytes = kMaxPageMessageBytes;

  // The page's actions of this host, registered once by the constructor.
  const ActionRegistry& Actions() const { return actions_; }

  NativeWindow* window() const { return window_; }
  WebView* web_view() const { return webView_.get(); }
  // Drops the web view, as when it could not be created.
  void ResetWebView();
  // Sends the page's answers through `window` instead of the host's own (tests put a window
  // between workers and the real one); the host's own window still takes close requests.
  void AnswerThrough(NativeWindow* window);

  // The window actions (app_actions.h). doClose: the first one cancels every engine and cleans
  // up; each then closes the window now when idle, or asks the page again once workers end.
  void Close();
  void CloseOverride();
  void Minimize();
  void OpenDevTools();

  // ActionContext.
  const std::shared_ptr<PageResponder>& Responder() override { return responder_; }
  const std::filesystem::path& UiFolder() const override { return uiFolder_; }
  std::vector<std::string>& WorkingFolders() override { return workingFolders_; }
  std::shared_ptr<PageWorker>& DownloadWorker() override { return download_; }
  std::shared_ptr<PageWorker>& ZipWorker() override { return zip_; }
  std::shared_ptr<const VerifiedArchive>& LatestVerifiedArchive() override {
    return verifiedArchive_;
  }
  std::vector<std::shared_ptr<const VerifiedExtraction>>& VerifiedExtractions() override {
    return verifiedExtractions_;
  }
  SetupOutcomes& Setups() override { return setups_; }
  std::optional<std::string> ReadPageFile(const std::string& name, std::string& why) override;
  std::atomic<bool>& Closing() override { return closing_; }
  const std::shared_ptr<std::atomic<bool>>& CleaningUp() override { return cleaningUp_; }
  std::unique_ptr<nlohmann::json>& ExchangeData() override { return exchangeData_; }
  bool HasWebView() const override { return webView_ != nullptr; }
  void HideWindow() override;
  bool IsBusy() const override;

  // WindowPage.
  bool CanAnswer() const override;
  void RunScript(const std::string& script) override;

 private:
  NativeWindow* window_ = nullptr;
  std::filesystem::path uiFolder_;
  std::unique_ptr<WebView> webView_;  // null until the web view is ready
  std::shared_ptr<PageResponder> responder_;
  WindowResponder* windowResponder_ = nullptr;  // responder_, as the host detaches it
  ActionRegistry actions_;
  std::shared_ptr<PageWorker> download_;
  std::shared_ptr<PageWorker> zip_;
  std::shared_ptr<const VerifiedArchive> verifiedArchive_;
  std::vector<std::shared_ptr<const VerifiedExtraction>> verifiedExtractions_;
  SetupOutcomes setups_;
  std::atomic<bool> closing_{false};
  std::shared_ptr<std::atomic<bool>> cleaningUp_ = std::make_shared<std::atomic<bool>>(false);
  std::unique_ptr<nlohmann::json> exchangeData_;
  std::vector<std::string> workingFolders_;
};

// The UI folder for an executable: its parent folder joined with "UI".
std::filesystem::path UiFolderForExecutable(const std::filesystem::path& executable);

// Full path of the running executable.
std::filesystem::path CurrentExecutablePath();
