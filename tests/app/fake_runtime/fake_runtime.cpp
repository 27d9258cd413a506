#include "fake_runtime.h"

#include <windows.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <utility>

namespace {

constexpr UINT kRunTask = WM_APP + 7;

std::wstring EnvironmentPath(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return length > 0 && length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

// Tasks may be queued from any thread (a host fault the record then shows); they run on one.
std::mutex g_tasksLock;
std::deque<std::function<void()>> g_tasks;

LRESULT CALLBACK TaskWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunTask) {
    FakeRuntime::Get().RunNextTask();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&TaskWindowProc), &module);
  return module;
}

}  // namespace

FakeRuntime& FakeRuntime::Get() {
  // Never destroyed: the host's handlers it holds must not be released while the process ends.
  static FakeRuntime* runtime = new FakeRuntime();
  return *runtime;
}

void FakeRuntime::Start() {
  if (started_) return;
  started_ = true;
  windowThread_ = GetCurrentThreadId();
  recordPath_ = EnvironmentPath(L"VLM_FAKE_WEBVIEW_RECORD");
  const std::wstring scriptPath = EnvironmentPath(L"VLM_FAKE_WEBVIEW_SCRIPT");
  if (!scriptPath.empty()) {
    std::ifstream in{std::filesystem::path(scriptPath)};
    script_ = nlohmann::json::parse(in, nullptr, false);
    if (script_.is_discarded()) {
      script_ = nlohmann::json::object();
      RecordUnexpected("the script file", 0);
    }
  }

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &TaskWindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = L"FakeWebViewRuntimeTasks";
  RegisterClassExW(&windowClass);
  window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            windowClass.hInstance, nullptr);
  Save();
}

std::string FakeRuntime::EnvironmentMode() const {
  return script_.value("environment", std::string("ready"));
}

void FakeRuntime::CheckThread() {
  if (GetCurrentThreadId() != windowThread_)
    record_["offThread"] = record_["offThread"].get<int>() + 1;
}

void FakeRuntime::RecordCall(nlohmann::json call) {
  CheckThread();
  record_["calls"].push_back(std::move(call));
  Save();
}

void FakeRuntime::RecordEvent(nlohmann::json event) {
  record_["events"].push_back(std::move(event));
  Save();
}

void FakeRuntime::RecordUnexpected(const char* interfaceName, size_t slot) {
  record_["unexpected"].push_back(std::string(interfaceName) + " slot " + std::to_string(slot));
  Save();
}

void FakeRuntime::MarkFirstMessage() {
  if (record_.contains("firstMessageTicks")) return;
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  record_["firstMessageTicks"] = now.QuadPart;
  Save();
}

void FakeRuntime::Later(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(g_tasksLock);
    g_tasks.push_back(std::move(task));
  }
  PostMessageW(static_cast<HWND>(window_), kRunTask, 0, 0);
}

void FakeRuntime::RunNextTask() {
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> lock(g_tasksLock);
    if (g_tasks.empty()) return;
    task = std::move(g_tasks.front());
    g_tasks.pop_front();
  }
  task();
}

void FakeRuntime::Save() const {
  if (recordPath_.empty()) return;
  // Rewritten in place: a reader that catches it half-written sees invalid JSON and reads again.
  const HANDLE file = CreateFileW(recordPath_.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = record_.dump();
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}
