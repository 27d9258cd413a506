// The real quillfetch.exe under Wine, started by this test as a Windows parent (which alone
// sees whole exit codes): one instance at a time, and a window that closes when no web view can
// start. The program is copied into a folder of the test's own, beside no loader.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/test_environment.h"

namespace {

std::filesystem::path TestProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

class Program {
 public:
  explicit Program(const std::filesystem::path& exe) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    started_ = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              exe.parent_path().c_str(), &startup, &info_) != FALSE;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 9);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  bool started() const { return started_; }

  // The exit code, or STILL_ACTIVE when it has not ended within `timeoutMs`.
  DWORD WaitForExit(DWORD timeoutMs = 30000) const {
    WaitForSingleObject(info_.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

  // The program's top-level window, once it has one.
  HWND WaitForWindow(int timeoutMs = 30000) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      struct Search {
        DWORD processId;
        HWND found;
      } search = {info_.dwProcessId, nullptr};
      EnumWindows(
          [](HWND hwnd, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (owner == s->processId && std::wstring(name) == L"VelmoranteDownloaderWebView2") {
              s->found = hwnd;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) return search.found;
      if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }

 private:
  PROCESS_INFORMATION info_ = {};
  bool started_ = false;
};

std::string ReadLogs(const std::filesystem::path& folder) {
  std::string all;
  if (!std::filesystem::exists(folder)) return all;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    all += text.str();
  }
  return all;
}

TEST(ProgramTest, OneInstanceAtATimeAndTheCloseButtonWorksWithoutAWebView) {
  TemporaryFolder temp;
  ScopedEnvironmentVariable tmp(kTempDirectoryVariable, temp.path().string());
  const std::filesystem::path exe = temp.path() / "quillfetch.exe";
  std::filesystem::copy_file(TestProgramFolder() / "quillfetch.exe", exe);

  Program first(exe);
  ASSERT_TRUE(first.started());
  const HWND window = first.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << first.WaitForExit(0);
  EXPECT_TRUE(IsWindowVisible(window));

  Program second(exe);
  ASSERT_TRUE(second.started());
  EXPECT_EQ(second.WaitForExit(), 183u);

  // No loader beside the program: the close button must still end it, with 0.
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.WaitForExit(), 0u);
  const std::string logs = ReadLogs(temp.path() / "Velmorante" / "Logs");
  EXPECT_NE(logs.find("SetupWebView::Initialize called"), std::string::npos);
  EXPECT_NE(logs.find("WebView could not start: no loader"), std::string::npos) << logs;
}

}  // namespace
