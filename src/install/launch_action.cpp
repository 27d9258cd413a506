#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/hex_string.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "bridge/action_context.h"
#include "bridge/page_responder.h"
#include "install/app_launcher.h"
#include "install/archive_ownership.h"
#include "install/install_actions.h"
#include "install/launch_arguments.h"
#include "install/launcher_path.h"
#include "install/setup_signature.h"
#include "log/logger.h"
#include "trust/archive_signature.h"
#include "trust/built_in_trust.h"
#include "trust/verified_archive.h"

namespace {
constexpr char kDefaultLauncherName[] = "Setup.exe";
// ERROR_GEN_FAILURE: the launch itself broke down (for instance out of memory).
// ERROR_BAD_PATHNAME: a relative launcherName that leads out of unzipdir.

// With a key built in, only what the vendor signed runs: a program inside a folder that this run
// extracted, with 0, from an archive whose signature verified. An absolute name never qualifies,
// whatever it names. True when `executable` may run; else the reason is logged.
bool FromVerifiedExtraction(
    const std::string& launcherName, const std::filesystem::path& executable,
    const std::vector<std::shared_ptr<const VerifiedExtraction>>& extractions) {
  if (BuiltInArchiveKey().empty()) return true;
  std::string refusal;
  if (PathFromUtf8(launcherName).is_absolute()) {
    refusal = "an absolute launcherName is not started";
  } else {
    std::vector<std::string> folders;
    for (const std::shared_ptr<const VerifiedExtraction>& extraction : extractions) {
      if (extraction->CheckedAndComplete()) folders.push_back(extraction->Folder());
    }
    if (IsInsideWorkingFolder(PathToUtf8(executable), folders)) return true;
    refusal = "not inside a folder extracted from a verified archive";
  }
  Logger::Log(LogLevel::Error, "Engine.AppLauncher",
              "Setup program refused, " + refusal + ": " + PathToUtf8(executable) +
                  ", hr=" + ToHexString(static_cast<uint32_t>(trust_code::kNoSignature)));
  return false;
}

// With a publisher built in, a program that is not theirs is never started: 0 when it may run,
// with `held` keeping the file that was checked open until the program has started; else the
// trust code (logged with the reason).
uint32_t CheckPublisher(const std::filesystem::path& executable,
                        std::unique_ptr<HeldProgram>& held) {
  const std::string_view publisher = BuiltInSetupPublisher();
  if (publisher.empty()) return 0;
  std::string refusal;
  uint32_t trust = 0;
  uint32_t error = 0;
  held = HeldProgram::Open(executable, error);
  if (!held) {
    // As an HRESULT, so that the page's low 16 bits are the Win32 error.
    trust = 0x80070000u | (error & 0xFFFFu);
    refusal = "the program cannot be opened";
  } else {
    trust = CheckSetupSignature(*held, publisher, refusal);
  }
  if (trust != 0) {
    held.reset();
    Logger::Log(LogLevel::Error, "Engine.AppLauncher",
                "Setup program refused, " + refusal + ": " + executable.generic_string() +
                    ", hr=" + ToHexString(trust));
  }
  return trust;
}

// 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) and 1641 (ERROR_SUCCESS_REBOOT_INITIATED): installed, a
// restart finishes it.
bool AsksForRestart(int32_t exitCode) {
  return exitCode == 3010 || exitCode == 1641;
}

// What a setup's exit says for the rest of the run: the product may be opened after a success,
// the system restarted after a setup asked for it. Only a setup from what this run extracted
// counts (with a key, from a verified extraction, which FromVerifiedExtraction has checked).
void RecordOutcome(ActionContext& context, const std::filesystem::path& executable,
                   int32_t exitCode) {
  if (BuiltInArchiveKey().empty() &&
      !IsInsideWorkingFolder(PathToUtf8(executable), context.WorkingFolders())) {
    return;
  }
  SetupOutcomes& setups = context.Setups();
  if (exitCode == 0 || AsksForRestart(exitCode)) setups.succeeded = true;
  if (AsksForRestart(exitCode)) setups.restartWanted = true;
}

}  // namespace

void DoLaunchSetup(ActionContext& context, const nlohmann::json& message) {
  // Fields of the wrong type throw here, before the window is hidden.
  std::string launcherName = message.value("launcherName", std::string());
  if (launcherName.empty()) launcherName = kDefaultLauncherName;
  const std::string unzipdir = message.value("unzipdir", std::string());
  const std::string callbackId = message.value("callbackId", std::string());

  CallbackPayload answer;
  answer.cbid = callbackId;
  std::string malformed;
  const std::optional<std::vector<std::string>> arguments = LaunchArguments(message, malformed);
  if (!arguments) {
    Logger::Log(LogLevel::Error, "Engine.AppLauncher", "Setup not started, " + malformed);
    answer.result = page_result::kInvalidParameter;
    context.Responder()->Complete(answer);
    return;
  }
  bool ran = false;
  context.HideWindow();
  try {
    const std::optional<std::filesystem::path> executable = LauncherPath(unzipdir, launcherName);
    if (!executable) {
      Logger::Log(LogLevel::Error, "Engine.AppLauncher",
                  "Launcher name leaves the folder: " + launcherName);
      answer.result = page_result::kNameLeavesFolder;
    } else if (!FromVerifiedExtraction(launcherName, *executable, context.VerifiedExtractions())) {
      answer.result = page_result::kNoSignature;
    } else if (std::unique_ptr<HeldProgram> held;
               const uint32_t trust = CheckPublisher(*executable, held)) {
      answer.result = trust & 0xFFFFu;
    } else {
      const int32_t exitCode = AppLauncher().Run(*executable, std::move(held), *arguments);
      answer.result = static_cast<uint32_t>(exitCode);
      ran = true;
      RecordOutcome(context, *executable, exitCode);
    }
  } catch (const std::exception& e) {
    Logger::Log(LogLevel::Error, "Engine.AppLauncher", std::string("Launch failed: ") + e.what());
    answer.result = page_result::kGenFailure;
  }
  // Shows the window again before the answer is posted.
  context.Responder()->Complete(answer);
  // The user has been in the setup's own windows meanwhile: how it ended is theirs to see.
  if (ran) context.Responder()->RequestAttention();
}
