#include "program_runner_win.h"

#include <zip.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/utf8_path.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<nlohmann::json> Named(const nlohmann::json& list, const char* key,
                                  const std::string& name) {
  std::vector<nlohmann::json> found;
  if (!list.is_array()) return found;
  for (const auto& entry : list) {
    if (entry.value(key, std::string()) == name) found.push_back(entry);
  }
  return found;
}

}  // namespace

std::filesystem::path TestProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

std::string ReadLogs(const std::filesystem::path& folder) {
  std::string all;
  if (!std::filesystem::exists(folder)) return all;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) all += ReadFile(entry);
  return all;
}

std::vector<std::string> Unzip(const std::filesystem::path& zip,
                               const std::filesystem::path& folder) {
  std::vector<std::string> names;
  int error = 0;
  zip_t* archive = zip_open(PathToUtf8(zip).c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return names;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t index = 0; index < count; ++index) {
    const std::string name = zip_get_name(archive, index, 0);
    names.push_back(name);
    const std::filesystem::path target = folder / PathFromUtf8(name);
    if (name.ends_with('/')) {
      std::filesystem::create_directories(target);
      continue;
    }
    std::filesystem::create_directories(target.parent_path());
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (entry == nullptr) continue;
    std::ofstream out(target, std::ios::binary);
    char buffer[65536];
    zip_int64_t read = 0;
    while ((read = zip_fread(entry, buffer, sizeof(buffer))) > 0) out.write(buffer, read);
    zip_fclose(entry);
  }
  zip_close(archive);
  return names;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

namespace {

// A primary token of this process's user without elevation (the linked token of an elevated
// one), or null when this process is not elevated.
HANDLE TokenWithoutElevation() {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
  TOKEN_ELEVATION elevation = {};
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  HANDLE primary = nullptr;
  if (GetTokenInformation(own, TokenElevation, &elevation, sizeof(elevation), &size) &&
      elevation.TokenIsElevated != 0 &&
      GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size)) {
    DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                     TokenPrimary, &primary);
    CloseHandle(linked.LinkedToken);
  }
  CloseHandle(own);
  return primary;
}

}  // namespace

Program::Program(const std::filesystem::path& exe, bool elevated) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  const HANDLE token = elevated ? nullptr : TokenWithoutElevation();
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  startTicks_ = now.QuadPart;
  started_ = CreateProcessAsUserW(token, exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                  0, nullptr, exe.parent_path().c_str(), &startup, &info_) != FALSE;
  if (token != nullptr) CloseHandle(token);
}

Program::~Program() {
  if (!started_) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 9);
    WaitForSingleObject(info_.hProcess, 10000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

DWORD Program::WaitForExit(DWORD timeoutMs) const {
  WaitForSingleObject(info_.hProcess, timeoutMs);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

HWND Program::WaitForWindow(int timeoutMs, const wchar_t* windowClass) const {
  struct Search {
    DWORD processId;
    const wchar_t* windowClass;
    HWND found;
  } search = {info_.dwProcessId, windowClass, nullptr};
  WaitFor(
      [&] {
        EnumWindows(
            [](HWND hwnd, LPARAM data) -> BOOL {
              auto* s = reinterpret_cast<Search*>(data);
              DWORD owner = 0;
              GetWindowThreadProcessId(hwnd, &owner);
              wchar_t name[64] = {};
              GetClassNameW(hwnd, name, 64);
              if (owner == s->processId && std::wstring(name) == s->windowClass) {
                s->found = hwnd;
                return FALSE;
              }
              return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr || WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0;
      },
      timeoutMs);
  return search.found;
}

ProgramFolder::ProgramFolder(const std::filesystem::path& loader, const nlohmann::json& script,
                             bool devMode, const std::filesystem::path& zip)
    : tmp_(kTempDirectoryVariable, PathToUtf8(temp_.path())),
      script_("VLM_FAKE_WEBVIEW_SCRIPT", PathToUtf8(temp_.path() / "script.json")),
      record_("VLM_FAKE_WEBVIEW_RECORD", PathToUtf8(temp_.path() / "record.json")),
      dev_("VLM_IS_DEV", devMode ? std::optional<std::string>("1") : std::nullopt),
      devAlias_("VELMORANTE_DEBUG", std::nullopt) {
  if (zip.empty()) {
    std::filesystem::copy_file(TestProgramFolder() / "quillfetch.exe", exe());
    std::filesystem::copy(TestProgramFolder() / "UI", temp_.path() / "UI",
                          std::filesystem::copy_options::recursive);
  } else {
    Unzip(zip, temp_.path());
    std::filesystem::remove(temp_.path() / "WebView2Loader.dll");
  }
  if (!loader.empty()) std::filesystem::copy_file(loader, temp_.path() / "WebView2Loader.dll");
  std::ofstream(temp_.path() / "script.json") << script.dump();
}

nlohmann::json ProgramFolder::Record() const {
  if (!std::filesystem::exists(temp_.path() / "record.json")) return nlohmann::json::object();
  // The fake rewrites the file in place: a half-written one is read again.
  for (int attempt = 0; attempt < 50; ++attempt) {
    const auto parsed =
        nlohmann::json::parse(ReadFile(temp_.path() / "record.json"), nullptr, false);
    if (!parsed.is_discarded()) return parsed;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nlohmann::json::object();
}

std::vector<nlohmann::json> ProgramFolder::Calls(const std::string& call) const {
  return Named(Record().value("calls", nlohmann::json::array()), "call", call);
}

std::vector<nlohmann::json> ProgramFolder::Events(const std::string& event) const {
  return Named(Record().value("events", nlohmann::json::array()), "event", event);
}
