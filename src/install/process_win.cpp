#include <windows.h>

#include <string>

#include "base/page_results.h"
#include "base/utf_convert.h"
#include "install/command_line.h"
#include "install/process.h"
#include "install/setup_signature.h"
#include "install/win32_error_text.h"

namespace {

// ERROR_WAIT_NO_CHILDREN, as the Linux launcher reports it: the setup ran, but its exit code
// could not be read. Never 0, which the page would take for a finished installation.

struct ErrcMapping {
  std::errc condition;
  uint32_t code;
};

// The file system's errno values, as Linux's launcher states them (install/process_posix.h).
constexpr ErrcMapping kErrcMappings[] = {
    {std::errc::no_such_file_or_directory, 2},
    {std::errc::not_a_directory, 3},
    {std::errc::too_many_files_open, 4},
    {std::errc::too_many_files_open_in_system, 4},
    {std::errc::permission_denied, 5},
    {std::errc::operation_not_permitted, 5},
    {std::errc::is_a_directory, 5},
    {std::errc::not_enough_memory, 8},
    {std::errc::text_file_busy, 32},
    {std::errc::invalid_argument, 87},
    {std::errc::executable_format_error, 193},
    {std::errc::filename_too_long, 206},
    {std::errc::argument_list_too_long, 206},
    {std::errc::io_error, 1117},
    {std::errc::resource_unavailable_try_again, 1450},
    {std::errc::too_many_symbolic_link_levels, 1921},
};

// Owns the two handles that CreateProcessW hands out.
struct ProcessHandles {
  PROCESS_INFORMATION info{};
  ~ProcessHandles() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};

}  // namespace

uint32_t Win32ErrorFromSystemError(const std::error_code& error) {
  // The C++ library reports Win32 calls in the system category and C runtime calls (the file
  // status of std::filesystem) as errno values in the generic one.
  if (error.category() == std::system_category()) {
    return error.value() != 0 ? static_cast<uint32_t>(error.value()) : page_result::kNoMatchingCode;
  }
  for (const ErrcMapping& m : kErrcMappings) {
    if (error == m.condition) return m.code;
  }
  return page_result::kNoMatchingCode;
}

namespace {

// <System32>\msiexec.exe by its full path: the program runs elevated, and a bare name would be
// searched for in the host's own folder and the working folder first. Empty when the folder
// cannot be read.
std::wstring SystemInstallerPath() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(folder, length) + L"\\msiexec.exe";
}

}  // namespace

bool CanStartInstallerPackages() {
  return true;
}

LaunchOutcome StartAndWait(const LaunchCommand& command, std::unique_ptr<HeldProgram> held) {
  LaunchOutcome outcome;
  // A full path, so that CreateProcessW runs this very file: a bare or relative name would be
  // searched for in the host's own folder and the system folders first. Separators in the
  // native form, as a setup expects to find its own path on its command line.
  std::error_code ec;
  std::filesystem::path target = std::filesystem::absolute(command.program, ec);
  if (ec) target = command.program;
  target.make_preferred();
  const std::filesystem::path folder = target.parent_path();

  std::wstring application;
  // CreateProcessW may write into the command line: it gets a buffer of its own.
  std::wstring commandLine = L"\"" + target.native() + L"\"";
  if (command.installerPackage) {
    application = SystemInstallerPath();
    if (application.empty()) {
      outcome.errorCode = GetLastError();
      outcome.detail = "GetSystemDirectoryW: " + Win32ErrorText(outcome.errorCode);
      return outcome;
    }
    commandLine = L"\"" + application + L"\" /i " + commandLine;
  }
  for (const std::string& argument : command.arguments) {
    const std::u16string quoted = Utf8ToUtf16(" " + QuoteWindowsArgument(argument));
    commandLine.append(quoted.begin(), quoted.end());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  ProcessHandles process;
  const BOOL created = CreateProcessW(
      application.empty() ? nullptr : application.c_str(), commandLine.data(), nullptr, nullptr,
      /*bInheritHandles=*/FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
      &process.info);
  const DWORD error = GetLastError();
  // Held no longer once a program runs: its image protects the file now, and a setup may move
  // itself. A package is opened by the installer only after this, so it stays held until then.
  if (!command.installerPackage) held.reset();
  if (!created) {
    outcome.errorCode = error;
    outcome.detail = "CreateProcessW: " + Win32ErrorText(error);
    return outcome;
  }
  outcome.started = true;

  DWORD exitCode = 0;
  if (WaitForSingleObject(process.info.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.info.hProcess, &exitCode)) {
    outcome.exitCode = page_result::kNoExitStatus;
  } else {
    outcome.exitCode = exitCode;
  }
  return outcome;
}
