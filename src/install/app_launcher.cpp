#include "install/app_launcher.h"

#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <utility>

#include "base/page_results.h"
#include "base/utf8_path.h"
#include "install/launch_arguments.h"
#include "install/process.h"
#include "log/logger.h"

namespace {
constexpr char kCategory[] = "Engine.AppLauncher";
}  // namespace

int32_t AppLauncher::Run(const std::filesystem::path& executable, std::unique_ptr<HeldProgram> held,
                         const std::vector<std::string>& arguments) {
  const std::string shown = PathToUtf8(executable);
  LaunchCommand command{executable, arguments, IsInstallerPackage(executable)};
  if (command.installerPackage && !CanStartInstallerPackages()) {
    Logger::Log(LogLevel::Error, kCategory,
                "Installer package refused, this system has no installer for it: " + shown);
    return static_cast<int32_t>(page_result::kNotSupported);
  }
  std::error_code ec;
  const bool present = std::filesystem::exists(executable, ec);
  if (ec) {
    // Neither there nor absent (a link loop, a name too long, no access to a folder).
    const uint32_t code = Win32ErrorFromSystemError(ec);
    Logger::Log(LogLevel::Error, kCategory,
                "Executable status unreadable: " + shown + ": " + ec.message() +
                    " error=" + std::to_string(code));
    return static_cast<int32_t>(code);
  }
  if (!present) {
    Logger::Log(LogLevel::Error, kCategory, "Executable not found: " + shown);
    return static_cast<int32_t>(page_result::kNothingAtPath);
  }
  // What the setup was told, as the page gave it (one JSON string per word, so that spaces and
  // quotes stay visible).
  if (!arguments.empty()) {
    Logger::Log(
        LogLevel::Info, kCategory,
        "Setup arguments: " + nlohmann::json(arguments).dump(
                                  -1, ' ', false, nlohmann::json::error_handler_t::replace));
  }
  if (command.installerPackage) {
    Logger::Log(LogLevel::Info, kCategory, "Installer package, started by msiexec /i: " + shown);
  }
  Logger::Log(LogLevel::Debug, kCategory, "CreateProcessW starting");
  const LaunchOutcome outcome = StartAndWait(command, std::move(held));
  if (!outcome.started) {
    Logger::Log(LogLevel::Error, kCategory,
                "CreateProcessW failed error=" + std::to_string(outcome.errorCode));
    if (!outcome.detail.empty()) Logger::Log(LogLevel::Debug, kCategory, outcome.detail);
    return outcome.errorCode != 0 ? static_cast<int32_t>(outcome.errorCode)
                                  : static_cast<int32_t>(page_result::kNoMatchingCode);
  }
  Logger::Log(LogLevel::Info, kCategory, "Process exited code=" + std::to_string(outcome.exitCode));
  return static_cast<int32_t>(outcome.exitCode);
}
