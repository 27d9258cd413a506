// The real quillfetch.exe under Wine with the fake web view runtime beside it (fake_runtime/):
// what the program asks of the runtime, the page's messages and the answers it gets, the close
// protocol, foreign origins and navigations, and the ways a start can fail.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/main_window_proc.h"
#include "app/ui_manifest.h"
#include "app/verified_loader_win.h"
#include "base/protected_folder_win.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "program_runner_win.h"
#include "support/page_scripts.h"
#include "support/unix_link_win.h"

namespace {

using nlohmann::json;

constexpr int kRenderProcessExited = 1;  // COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED
constexpr int kRenderProcessUnresponsive = 2;  // ..._RENDER_PROCESS_UNRESPONSIVE

std::filesystem::path FakeLoader() {
  return TestProgramFolder() / "fake_runtime" / "WebView2Loader.dll";
}

// A page that answers every close request with doClose.
json ClosingPage(json onPageLoaded = json::array()) {
  return {
      {"onPageLoaded", std::move(onPageLoaded)},
      {"onScript",
       {{{"contains", "window.requestClose"}, {"steps", {{{"post", {{"action", "doClose"}}}}}}}}}};
}

std::vector<std::string> Scripts(const ProgramFolder& folder) {
  std::vector<std::string> scripts;
  for (const json& call : folder.Calls("ExecuteScript")) scripts.push_back(call["script"]);
  return scripts;
}

size_t IndexOf(const json& calls, const std::string& name) {
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].value("call", std::string()) == name) return i;
  }
  return calls.size();
}

void ExpectRuntimeUsedAsPlayed(const ProgramFolder& folder) {
  const json record = folder.Record();
  EXPECT_EQ(record.value("offThread", -1), 0) << "runtime called off the window thread";
  EXPECT_EQ(record.value("unexpected", json::array()), json::array());
  for (const char* event :
       {"add_WebMessageReceived", "add_NavigationStarting", "add_FrameNavigationStarting",
        "add_NewWindowRequested", "add_ProcessFailed", "add_DocumentTitleChanged"}) {
    const auto calls = folder.Calls(event);
    ASSERT_EQ(calls.size(), 1u) << event;
    EXPECT_TRUE(calls[0]["token"].get<bool>()) << event << " registered without a token";
  }
}

TEST(FakeRuntimeProgramTest, StartsTheWebViewAsTheRuntimeExpectsAndClosesThroughThePage) {
  const std::string title = "Installation de Données — 製品";
  ProgramFolder folder(
      FakeLoader(),
      ClosingPage(
          {{{"post", {{"action", "doDataExchange"}, {"callbackId", "first"}, {"subAction", "in"}}}},
           {{"title", title}}}));
  Program program(folder.exe());
  ASSERT_TRUE(program.started());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !ParseCallbackScripts(Scripts(folder)).empty(); }))
      << folder.Record().dump() << folder.Logs();

  const json record = folder.Record();
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  const double startupMs =
      1000.0 *
      static_cast<double>(record["firstMessageTicks"].get<long long>() - program.startTicks()) /
      static_cast<double>(frequency.QuadPart);
  std::cout << "[ startup  ] exec to the first page message: " << startupMs << " ms\n";
  RecordProperty("startup_ms", std::to_string(startupMs));

  const json environment = folder.Calls("CreateCoreWebView2EnvironmentWithOptions").at(0);
  EXPECT_TRUE(environment["browserFolder"].is_null());
  // Its own data folder, not the default beside the executable (elevated: tests/base).
  EXPECT_EQ(environment["userDataFolder"], PathToUtf8(folder.path() / "Velmorante" / "WebView2"));
  EXPECT_FALSE(environment["options"].get<bool>());
  EXPECT_EQ(folder.Calls("CreateCoreWebView2Controller").at(0)["parent"].get<uintptr_t>(),
            reinterpret_cast<uintptr_t>(window));

  // Neither developer variable is set: no context menu, no developer tools.
  EXPECT_FALSE(folder.Calls("put_AreDefaultContextMenusEnabled").at(0)["value"].get<bool>());
  EXPECT_FALSE(folder.Calls("put_AreDevToolsEnabled").at(0)["value"].get<bool>());

  const json mapping = folder.Calls("SetVirtualHostNameToFolderMapping").at(0);
  EXPECT_EQ(mapping["host"], "quillfetch.localhost");
  EXPECT_TRUE(std::filesystem::equivalent(PathFromUtf8(mapping["folder"].get<std::string>()),
                                          folder.path() / "UI"))
      << mapping.dump();
  EXPECT_EQ(mapping["kind"], 1);  // COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND_ALLOW

  RECT client = {};
  GetClientRect(window, &client);
  const json bounds = folder.Calls("put_Bounds").at(0);
  EXPECT_EQ(bounds["left"], client.left);
  EXPECT_EQ(bounds["top"], client.top);
  EXPECT_EQ(bounds["right"], client.right);
  EXPECT_EQ(bounds["bottom"], client.bottom);

  // The cache is cleared and the handler registered before the start page is asked for, so a
  // message of the first load is not lost.
  const json calls = record["calls"];
  const json cache = folder.Calls("CallDevToolsProtocolMethod").at(0);
  EXPECT_EQ(cache["method"], "Network.clearBrowserCache");
  EXPECT_EQ(cache["parameters"], "{}");
  EXPECT_EQ(folder.Calls("Navigate").at(0)["uri"], "https://quillfetch.localhost/index.html");
  EXPECT_LT(IndexOf(calls, "add_WebMessageReceived"), IndexOf(calls, "Navigate"));
  EXPECT_LT(IndexOf(calls, "CallDevToolsProtocolMethod"), IndexOf(calls, "Navigate"));
  ExpectRuntimeUsedAsPlayed(folder);

  // The window is named after the page, whatever its script. (Its title bar's colour cannot be
  // read back under Wine, whose DWM keeps no attributes.)
  const std::u16string wideTitle = Utf8ToUtf16(title);
  EXPECT_TRUE(WaitFor([&] {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return std::u16string(reinterpret_cast<const char16_t*>(text)) == wideTitle;
  })) << folder.Record().dump();

  // The close button asks the page, which closes. (Its first doClose starts a clean-up and is
  // asked again only when that clean-up is still running, which depends on timing.)
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  int asked = 0;
  for (const std::string& script : Scripts(folder)) asked += script == kRequestCloseScript;
  EXPECT_GE(asked, 1);
  EXPECT_EQ(folder.Record().value("offThread", -1), 0);
}

TEST(FakeRuntimeProgramTest, AnswersItsOwnPageOnlyAndKeepsItOnItsOrigin) {
  const json foreignClose = {{"action", "doCloseOverride"}};
  const json page = ClosingPage({
      {{"post", foreignClose}, {"source", "https://quillfetch.localhost.evil.example/index.html"}},
      {{"post", foreignClose}, {"source", "https://evil.example/quillfetch.localhost/"}},
      {{"post", foreignClose}, {"source", "http://quillfetch.localhost/index.html"}},
      {{"navigate", "https://evil.example/"}},
      {{"navigate", "https://quillfetch.localhost.evil.example/"}, {"frame", true}},
      {{"navigate", "https://quillfetch.localhost/next.html"}},
      {{"post",
        {{"action", "doDataExchange"},
         {"callbackId", "keep"},
         {"subAction", "in"},
         {"lang", "dé"}}}},
      {{"post", {{"action", "doDataExchange"}, {"callbackId", "back"}, {"subAction", "out"}}}},
      {{"post", {{"action", "OpenDevToolsWindow"}}}},
  });
  ProgramFolder folder(FakeLoader(), page, /*devMode=*/true);
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Calls("OpenDevToolsWindow").empty(); }))
      << folder.Record().dump() << folder.Logs();

  // None of the foreign doCloseOverride messages closed the program.
  EXPECT_EQ(program.WaitForExit(200), static_cast<DWORD>(STILL_ACTIVE));

  std::vector<std::pair<std::string, bool>> navigations;
  for (const json& event : folder.Events("navigationStarting"))
    navigations.emplace_back(event["uri"], event["cancelled"]);
  const std::vector<std::pair<std::string, bool>> expected = {
      {"https://quillfetch.localhost/index.html", false},
      {"https://evil.example/", true},
      {"https://quillfetch.localhost.evil.example/", true},
      {"https://quillfetch.localhost/next.html", false}};
  EXPECT_EQ(navigations, expected);

  // The UI's own messages are dispatched, and answered in Base64 JSON the page can decode.
  const auto callbacks = ParseCallbackScripts(Scripts(folder));
  ASSERT_EQ(callbacks.size(), 2u);
  EXPECT_EQ(callbacks[0].function, "onActionComplete");
  EXPECT_EQ(callbacks[0].payload["cbid"], "keep");
  EXPECT_EQ(callbacks[1].payload["cbid"], "back");
  EXPECT_EQ(callbacks[1].payload["result"], 0);
  EXPECT_EQ(callbacks[1].payload["message"],
            R"({"action":"doDataExchange","callbackId":"","lang":"dé","subAction":""})");

  // Developer mode: context menus and tools on, and the page may open the tools.
  EXPECT_TRUE(folder.Calls("put_AreDefaultContextMenusEnabled").at(0)["value"].get<bool>());
  EXPECT_TRUE(folder.Calls("put_AreDevToolsEnabled").at(0)["value"].get<bool>());
  ExpectRuntimeUsedAsPlayed(folder);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  // The log is written out at exit.
  const std::string logs = folder.Logs();
  EXPECT_NE(logs.find("Ignored a page message from https://evil.example/"), std::string::npos);
  EXPECT_NE(logs.find("Refused navigation to https://evil.example/"), std::string::npos);
}

// The page policy (page_policy.h, tested on its own in page_policy_test.cpp) as the Windows
// web view applies it: frames the page contract allows (about:srcdoc included, which this
// backend refused before the policy was shared with Linux), and new windows that never open.
TEST(FakeRuntimeProgramTest, LetsFramesShowWhatTheContractAllowsAndOpensNoWindow) {
  const json page = ClosingPage({
      {{"navigate", "about:srcdoc"}, {"frame", true}},
      {{"navigate", "about:blank"}, {"frame", true}},
      {{"navigate", "https://quillfetch.localhost/frame.html"}, {"frame", true}},
      {{"navigate", "https://example.com/"}, {"frame", true}},
      {{"newWindow", "https://example.com/licence"}, {"userInitiated", false}},
      {{"newWindow", "http://127.0.0.1:8080/"}, {"userInitiated", true}},
      {{"newWindow", "https://quillfetch.localhost/index.html"}, {"userInitiated", true}},
      {{"post", {{"action", "doDataExchange"}, {"callbackId", "done"}, {"subAction", "out"}}}},
  });
  ProgramFolder folder(FakeLoader(), page);
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !ParseCallbackScripts(Scripts(folder)).empty(); }))
      << folder.Record().dump() << folder.Logs();

  std::vector<std::pair<std::string, bool>> frames;
  for (const json& event : folder.Events("navigationStarting")) {
    if (event["frame"].get<bool>()) frames.emplace_back(event["uri"], event["cancelled"]);
  }
  const std::vector<std::pair<std::string, bool>> expected = {
      {"about:srcdoc", false},
      {"about:blank", false},
      {"https://quillfetch.localhost/frame.html", false},
      {"https://example.com/", true}};
  EXPECT_EQ(frames, expected);

  const auto windows = folder.Events("newWindowRequested");
  ASSERT_EQ(windows.size(), 3u);
  for (const json& event : windows) EXPECT_TRUE(event["handled"].get<bool>()) << event.dump();
  ExpectRuntimeUsedAsPlayed(folder);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  const std::string logs = folder.Logs();
  for (const char* refused :
       {"Refused to open a new window for https://example.com/licence",
        "Refused to open a new window for http://127.0.0.1:8080/",
        "Refused to open a new window for https://quillfetch.localhost/index.html"}) {
    EXPECT_NE(logs.find(refused), std::string::npos) << refused << "\n" << logs;
  }
}

TEST(FakeRuntimeProgramTest, ABurstOfAnswersReachesThePageInOrderInFewerEvaluations) {
  // Every message is dispatched before the window runs the first answer, so the answers queue
  // up behind one another.
  constexpr int kMessages = 20;
  json steps = json::array();
  for (int i = 0; i < kMessages; ++i) {
    steps.push_back({{"post",
                      {{"action", "doDataExchange"},
                       {"callbackId", "b" + std::to_string(i)},
                       {"subAction", "in"}}}});
  }
  ProgramFolder folder(FakeLoader(), ClosingPage(steps));
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return ParseCallbackScripts(Scripts(folder)).size() >= kMessages; }))
      << folder.Record().dump() << folder.Logs();

  const auto callbacks = ParseCallbackScripts(Scripts(folder));
  ASSERT_EQ(callbacks.size(), static_cast<size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    EXPECT_EQ(callbacks[i].payload["cbid"], "b" + std::to_string(i));
  }
  EXPECT_LT(Scripts(folder).size(), static_cast<size_t>(kMessages));
  ExpectRuntimeUsedAsPlayed(folder);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(FakeRuntimeProgramTest, APageThatDiedNoLongerHoldsTheWindowOpen) {
  // This page does not answer the close request: its renderer fails instead.
  const json page = {{"onScript",
                      {{{"contains", "window.requestClose"},
                        {"steps", {{{"processFailed", kRenderProcessExited}}}}}}}};
  ProgramFolder folder(FakeLoader(), page);
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Events("navigationStarting").empty(); }));

  PostMessageW(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Events("processFailed").empty(); }));
  // Asked once, the page could not answer: the window stayed.
  EXPECT_EQ(program.WaitForExit(200), static_cast<DWORD>(STILL_ACTIVE));

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  EXPECT_EQ(Scripts(folder), std::vector<std::string>{kRequestCloseScript});
  EXPECT_NE(folder.Logs().find("WebView process failed (kind 1)"), std::string::npos);
}

// A renderer that hung for a moment still holds the page: the close button asks it, and the
// window waits for its answer (its cancel and clean-up) instead of closing at once.
TEST(FakeRuntimeProgramTest, AnUnresponsiveRendererIsStillAskedBeforeClosing) {
  ProgramFolder folder(FakeLoader(),
                       ClosingPage({{{"processFailed", kRenderProcessUnresponsive}}}));
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Events("processFailed").empty(); }));

  // Asked at least once (a doClose whose clean-up still runs is asked again): never closed
  // behind the page's back.
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  const std::vector<std::string> scripts = Scripts(folder);
  EXPECT_NE(std::find(scripts.begin(), scripts.end(), kRequestCloseScript), scripts.end())
      << folder.Logs();
  EXPECT_NE(folder.Logs().find("WebView process failed (kind 2)"), std::string::npos);
}

struct FailedStart {
  const char* name;
  const char* mode;  // the fake's environment mode; null: the SDK's real loader
};

class FailedStartTest : public testing::TestWithParam<FailedStart> {};

TEST_P(FailedStartTest, LeavesAWindowThatTheCloseButtonCloses) {
  const FailedStart& start = GetParam();
  const std::filesystem::path loader =
      start.mode != nullptr ? FakeLoader()
                            : TestProgramFolder() / "real_runtime" / "WebView2Loader.dll";
  ProgramFolder folder(loader, start.mode != nullptr ? json{{"environment", start.mode}} : json{});
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  if (start.mode != nullptr) {
    ASSERT_TRUE(WaitFor([&] { return !folder.Events("startFailed").empty(); }));
  } else {
    // The real loader tells nothing outside the program: give it time to look for a runtime.
    Sleep(3000);
  }

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  EXPECT_TRUE(Scripts(folder).empty());
  EXPECT_NE(folder.Logs().find("WebView could not start"), std::string::npos) << folder.Logs();
}

INSTANTIATE_TEST_SUITE_P(Ways, FailedStartTest,
                         testing::Values(FailedStart{"EnvironmentFailsAtOnce", "fail-at-once"},
                                         FailedStart{"EnvironmentFailsLater", "fail-later"},
                                         FailedStart{"NoController", "no-controller"},
                                         FailedStart{"RuntimeTooOldToMapAFolder", "no-webview3"},
                                         FailedStart{"RealLoaderWithoutARuntime", nullptr}),
                         [](const testing::TestParamInfo<FailedStart>& param) {
                           return std::string(param.param.name);
                         });

// The program with the test key built in, and the default page signed with it (UI-signed, made
// by the build with scripts/sign-archive), in place of the plain ones.
void UseSignedProgram(const ProgramFolder& folder) {
  std::filesystem::copy_file(TestProgramFolder() / "quillfetch_signed.exe", folder.exe(),
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove_all(folder.path() / "UI");
  std::filesystem::copy(TestProgramFolder() / "UI-signed", folder.path() / "UI",
                        std::filesystem::copy_options::recursive);
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The runtime serves the mapped folder itself: it is given a copy written from the checked
// bytes, which nothing of the user's can change between the check and the page's use.
TEST(SignedPageProgramTest, TheRuntimeServesAPrivateCopyOfTheSignedPage) {
  ProgramFolder folder(FakeLoader(), ClosingPage());
  UseSignedProgram(folder);
  Program program(folder.exe());
  ASSERT_NE(program.WaitForWindow(), nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Calls("Navigate").empty(); }))
      << folder.Record().dump() << folder.Logs();

  const std::filesystem::path served = PathFromUtf8(
      folder.Calls("SetVirtualHostNameToFolderMapping").at(0)["folder"].get<std::string>());
  EXPECT_FALSE(std::filesystem::equivalent(served, folder.path() / "UI")) << served;
  for (const char* file : {"index.html", "js/config.js", "config.json"}) {
    EXPECT_EQ(ReadBytes(served / file), ReadBytes(folder.path() / "UI" / file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(served / kUiManifestName));
  EXPECT_EQ(folder.Logs().find("The UI folder was refused"), std::string::npos);
}

// A file changed after signing: the runtime is given no folder and no page, the window shows the
// refusal as native text, and with no page to ask the close button closes.
TEST(SignedPageProgramTest, AChangedFileShowsTheRefusalInsteadOfThePage) {
  ProgramFolder folder(FakeLoader(), ClosingPage());
  UseSignedProgram(folder);
  std::ofstream(folder.path() / "UI" / "js" / "config.js", std::ios::app) << "\n// changed\n";
  Program program(folder.exe());
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Calls("put_IsVisible").empty(); }))
      << folder.Record().dump() << folder.Logs();

  const HWND label = FindWindowExW(window, nullptr, L"Static", nullptr);
  ASSERT_NE(label, nullptr);
  wchar_t text[512] = {};
  GetWindowTextW(label, text, 512);
  EXPECT_EQ(Utf16ToUtf8(reinterpret_cast<const char16_t*>(text)), kUiRefusedText);
  EXPECT_FALSE(folder.Calls("put_IsVisible").at(0)["value"].get<bool>());
  EXPECT_TRUE(folder.Calls("SetVirtualHostNameToFolderMapping").empty());
  EXPECT_TRUE(folder.Calls("Navigate").empty());
  EXPECT_NE(
      folder.Logs().find("The UI folder was refused: js/config.js has been changed since it was "
                         "signed"),
      std::string::npos)
      << folder.Logs();

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
}

// The newest log of an elevated run: in the protected root of that run (under Wine one with a
// fresh name each time: tests/base), whatever the environment says.
std::string NewestElevatedLog() {
  std::filesystem::path newest;
  std::error_code ec;
  const std::filesystem::path temp = UsualProtectedRoot().parent_path();
  for (const auto& root : std::filesystem::directory_iterator(temp, ec)) {
    if (PathToUtf8(root.path().filename()).rfind("Velmorante", 0) != 0) continue;
    for (const auto& entry : std::filesystem::directory_iterator(root.path() / "Logs", ec)) {
      if (newest.empty() || entry.last_write_time() > std::filesystem::last_write_time(newest))
        newest = entry.path();
    }
  }
  return newest.empty() ? std::string() : ReadBytes(newest);
}

// Elevated (Wine runs the program elevated when asked to), the keyed program, which the build
// made for the fake runtime's loader. Under Wine the usual root reads back as its user's own, as
// a squatted one would, so the run works in a root of its own (tests/base), where the web view's
// data and the loader's copy go. Wine cannot show that a standard user is kept out of it.
TEST(ElevatedProgramTest, NothingOfTheUsersEnvironmentReachesTheLoaderOrTheLog) {
  ProgramFolder folder(FakeLoader(), ClosingPage(), /*devMode=*/true);
  UseSignedProgram(folder);
  TemporaryFolder elsewhere;
  UnixLink linked(elsewhere.path(), folder.path() / "linked");  // the user's junction
  ASSERT_TRUE(linked.made());
  ScopedEnvironmentVariable logs("VLM_LOG_DIR", PathToUtf8(folder.path() / "linked" / "Logs"));
  ScopedEnvironmentVariable debug("VELMORANTE_DEBUG", "1");
  ScopedEnvironmentVariable browser("WEBVIEW2_BROWSER_EXECUTABLE_FOLDER",
                                    PathToUtf8(folder.path()));
  ScopedEnvironmentVariable arguments("webview2_additional_browser_arguments",
                                      "--remote-debugging-port=9222");
  ScopedEnvironmentVariable dataFolder("WEBVIEW2_USER_DATA_FOLDER", PathToUtf8(elsewhere.path()));
  Program program(folder.exe(), true);
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr) << "exit code " << program.WaitForExit(0);
  ASSERT_TRUE(WaitFor([&] { return !folder.Calls("Navigate").empty(); }))
      << folder.Record().dump() << NewestElevatedLog();

  const json environment = folder.Calls("CreateCoreWebView2EnvironmentWithOptions").at(0);
  EXPECT_EQ(environment["runtimeVariables"], json::array());
  const std::filesystem::path data = PathFromUtf8(environment["userDataFolder"].get<std::string>());
  const std::filesystem::path root = data.parent_path();
  EXPECT_EQ(root.parent_path(), UsualProtectedRoot().parent_path()) << data;
  EXPECT_EQ(data.filename(), "WebView2");
  // The verified bytes, from a copy in the root: never the file beside the program.
  EXPECT_TRUE(
      std::filesystem::equivalent(PathFromUtf8(environment["loadedFrom"].get<std::string>()),
                                  root / "Loader" / "WebView2Loader.dll"))
      << environment.dump();
  EXPECT_FALSE(folder.Calls("put_AreDevToolsEnabled").at(0)["value"].get<bool>());
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);

  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  const std::string log = NewestElevatedLog();
  for (const char* name :
       {"VLM_LOG_DIR", "VLM_IS_DEV", "VELMORANTE_DEBUG", "WEBVIEW2_BROWSER_EXECUTABLE_FOLDER",
        "WEBVIEW2_USER_DATA_FOLDER", "webview2_additional_browser_arguments"}) {
    EXPECT_NE(log.find(std::string(name) + " is ignored: the program runs elevated"),
              std::string::npos)
        << name << "\n"
        << log;
  }
}

// One byte of the loader changed: a native message says so, and nothing of the DLL runs (the
// fake would have written its record on its first call). Wine cannot show that a user process
// is kept from changing the file while it is read (it enforces no sharing across Unix writers).
TEST(ElevatedProgramTest, ALoaderWithOneByteChangedIsRefusedWithANativeMessage) {
  ProgramFolder folder(FakeLoader(), ClosingPage());
  UseSignedProgram(folder);
  {
    std::fstream loader(folder.path() / "WebView2Loader.dll",
                        std::ios::in | std::ios::out | std::ios::binary);
    loader.seekg(0x50);  // in the DOS stub's text: the DLL would still load
    const char byte = static_cast<char>(loader.get());
    loader.seekp(0x50);
    loader.put(static_cast<char>(byte ^ 0x20));
  }
  Program program(folder.exe(), true);
  const HWND box = program.WaitForWindow(30000, L"#32770");
  ASSERT_NE(box, nullptr) << "exit code " << program.WaitForExit(0) << NewestElevatedLog();
  // The box's text is the text of one of its controls, once the box has filled them in.
  const auto texts = [box] {
    std::vector<std::string> found;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM list) -> BOOL {
          wchar_t text[1024] = {};
          GetWindowTextW(child, text, 1024);
          reinterpret_cast<std::vector<std::string>*>(list)->push_back(
              Utf16ToUtf8(reinterpret_cast<const char16_t*>(text)));
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  };
  EXPECT_TRUE(WaitFor(
      [&] {
        const std::vector<std::string> now = texts();
        return std::find(now.begin(), now.end(), kLoaderRefusedText) != now.end();
      },
      10000))
      << testing::PrintToString(texts());
  EXPECT_NE(NewestElevatedLog().find("The web view loader was refused"), std::string::npos)
      << NewestElevatedLog();

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  const HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
  EXPECT_EQ(folder.Record(), json::object());
}

}  // namespace
