#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/native_window.h"
#include "app/setup_web_view.h"
#include "base/hex_string.h"
#include "bridge/page_callbacks.h"
#include "download/built_in_trust.h"
#include "install/app_launcher.h"
#include "install/launcher_path.h"
#include "install/setup_signature.h"
#include "log/logger.h"

namespace {
constexpr char kDefaultLauncherName[] = "Setup.exe";
// ERROR_GEN_FAILURE: the launch itself broke down (for instance out of memory).
constexpr uint32_t kResultLaunchBroken = 31;
// ERROR_BAD_PATHNAME: a relative launcherName that leads out of unzipdir.
constexpr uint32_t kResultNameLeavesFolder = 161;

// With a publisher built in, a program that is not theirs is never started: 0 when it may
// run, else the trust code (logged with the reason).
uint32_t CheckPublisher(const std::filesystem::path& executable) {
  const std::string_view publisher = BuiltInSetupPublisher();
  if (publisher.empty()) return 0;
  std::string refusal;
  const uint32_t trust = CheckSetupSignature(executable, publisher, refusal);
  if (trust != 0) {
    Logger::Log(LogLevel::Error, "Engine.AppLauncher",
                "Setup program refused, " + refusal + ": " + executable.generic_string() +
                    ", hr=" + ToHexString(trust));
  }
  return trust;
}

}  // namespace

void SetupWebView::DoLaunchSetup(const nlohmann::json& message) {
  // Fields of the wrong type throw here, before the window is hidden.
  std::string launcherName = message.value("launcherName", std::string());
  if (launcherName.empty()) launcherName = kDefaultLauncherName;
  const std::string unzipdir = message.value("unzipdir", std::string());
  const std::string callbackId = message.value("callbackId", std::string());

  CallbackPayload answer;
  answer.cbid = callbackId;
  if (m_hwnd != nullptr) m_hwnd->Hide();
  try {
    const std::optional<std::filesystem::path> executable = LauncherPath(unzipdir, launcherName);
    if (!executable) {
      Logger::Log(LogLevel::Error, "Engine.AppLauncher",
                  "Launcher name leaves the folder: " + launcherName);
      answer.result = kResultNameLeavesFolder;
    } else if (const uint32_t trust = CheckPublisher(*executable); trust != 0) {
      answer.result = trust & 0xFFFFu;
    } else {
      m_appLauncher = std::make_unique<AppLauncher>();
      answer.result = static_cast<uint32_t>(m_appLauncher->Run(*executable));
    }
  } catch (const std::exception& e) {
    Logger::Log(LogLevel::Error, "Engine.AppLauncher", std::string("Launch failed: ") + e.what());
    answer.result = kResultLaunchBroken;
  }
  // Shows the window again before the answer is posted.
  PostActionComplete(answer);
}
