// The loader's entry point and the fake runtime's COM objects, written in the SDK header's C
// form: each object is a table of functions, and every slot the fake does not play records an
// unexpected call, so a host that starts using more of the runtime shows up in the record.

#define CINTERFACE
#include <windows.h>
//
#include <WebView2.h>
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "base/utf_convert.h"
#include "fake_runtime.h"

namespace {

using nlohmann::json;

constexpr char kStartPage[] = "https://quillfetch.localhost/index.html";

// The runtime's own variables (any letter case) in the environment this DLL was loaded into,
// as the real loader would read them: what overrides the host's choices.
json RuntimeVariablesAtLoad() {
  json names = json::array();
  wchar_t* block = GetEnvironmentStringsW();
  if (block == nullptr) return names;
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    if (_wcsnicmp(entry, L"WEBVIEW2_", 9) == 0) {
      const std::wstring text(entry);
      names.push_back(Utf16ToUtf8(std::u16string(text.begin(), text.begin() + text.find(L'='))));
    }
  }
  FreeEnvironmentStringsW(block);
  return names;
}
const json g_runtimeVariablesAtLoad = RuntimeVariablesAtLoad();

// The file this DLL was loaded from.
const int g_inThisModule = 0;
std::string OwnPath() {
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&g_inThisModule), &self);
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH * 2);
  return Utf16ToUtf8(std::u16string(path, path + length));
}

std::string Narrow(LPCWSTR text) {
  return text == nullptr ? std::string() : Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

json NarrowOrNull(LPCWSTR text) {
  return text == nullptr ? json(nullptr) : json(Narrow(text));
}

// A string handed to the host, which frees it with CoTaskMemFree.
HRESULT GiveString(const std::string& text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  const std::u16string wide = Utf8ToUtf16(text);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  *out = copy;
  return S_OK;
}

template <typename Vtbl>
const char* g_interfaceName = "?";

template <typename Vtbl, size_t Slot>
HRESULT STDMETHODCALLTYPE UnexpectedCall() {
  FakeRuntime::Get().RecordUnexpected(g_interfaceName<Vtbl>, Slot);
  return E_NOTIMPL;
}

template <typename Vtbl, size_t... Slots>
void FillUnplayedSlots(Vtbl& table, std::index_sequence<Slots...>) {
  using Slot = void (*)();
  auto* bytes = reinterpret_cast<unsigned char*>(&table);
  const auto fill = [bytes](size_t index, Slot stub) {
    Slot current = nullptr;
    std::memcpy(&current, bytes + index * sizeof(Slot), sizeof(Slot));
    if (current == nullptr) std::memcpy(bytes + index * sizeof(Slot), &stub, sizeof(Slot));
  };
  (fill(Slots, reinterpret_cast<Slot>(&UnexpectedCall<Vtbl, Slots>)), ...);
}

// A counted object of one interface (the interface first, so its pointer is the object's).
template <typename Self, typename Interface, typename Vtbl>
struct ComObject {
  Interface iface = {};
  std::atomic<ULONG> refs{1};

  ComObject() { iface.lpVtbl = &Table(); }
  static Self* From(Interface* pointer) {
    return static_cast<Self*>(reinterpret_cast<ComObject*>(pointer));
  }
  // Not const: the header's C form declares its tables writable.
  static Vtbl& Table() {
    static Vtbl table = [] {
      Vtbl built = {};
      built.QueryInterface = [](Interface* self, REFIID iid, void** out) -> HRESULT {
        if (out == nullptr) return E_POINTER;
        if (!IsEqualIID(iid, IID_IUnknown) && !Self::Answers(iid)) {
          *out = nullptr;
          return E_NOINTERFACE;
        }
        ++From(self)->refs;
        *out = self;
        return S_OK;
      };
      built.AddRef = [](Interface* self) -> ULONG { return ++From(self)->refs; };
      built.Release = [](Interface* self) -> ULONG {
        const ULONG remaining = --From(self)->refs;
        if (remaining == 0) delete From(self);
        return remaining;
      };
      Self::Play(built);
      g_interfaceName<Vtbl> = Self::kName;
      FillUnplayedSlots(built, std::make_index_sequence<sizeof(Vtbl) / sizeof(void (*)())>());
      return built;
    }();
    return table;
  }
  Interface* Get() { return &iface; }
};

struct Settings : ComObject<Settings, ICoreWebView2Settings, ICoreWebView2SettingsVtbl> {
  static constexpr char kName[] = "ICoreWebView2Settings";
  static bool Answers(REFIID iid) { return IsEqualIID(iid, IID_ICoreWebView2Settings); }
  static void Play(ICoreWebView2SettingsVtbl& table) {
    table.put_AreDefaultContextMenusEnabled = [](ICoreWebView2Settings*, BOOL enabled) {
      FakeRuntime::Get().RecordCall(
          {{"call", "put_AreDefaultContextMenusEnabled"}, {"value", enabled != FALSE}});
      return S_OK;
    };
    table.put_AreDevToolsEnabled = [](ICoreWebView2Settings*, BOOL enabled) {
      FakeRuntime::Get().RecordCall(
          {{"call", "put_AreDevToolsEnabled"}, {"value", enabled != FALSE}});
      return S_OK;
    };
  }
};

struct MessageArgs : ComObject<MessageArgs, ICoreWebView2WebMessageReceivedEventArgs,
                               ICoreWebView2WebMessageReceivedEventArgsVtbl> {
  static constexpr char kName[] = "ICoreWebView2WebMessageReceivedEventArgs";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, IID_ICoreWebView2WebMessageReceivedEventArgs);
  }
  static void Play(ICoreWebView2WebMessageReceivedEventArgsVtbl& table) {
    table.get_Source = [](ICoreWebView2WebMessageReceivedEventArgs* self, LPWSTR* source) {
      return GiveString(From(self)->source, source);
    };
    table.get_WebMessageAsJson = [](ICoreWebView2WebMessageReceivedEventArgs* self, LPWSTR* text) {
      return GiveString(From(self)->message.dump(), text);
    };
    table.TryGetWebMessageAsString = [](ICoreWebView2WebMessageReceivedEventArgs* self,
                                        LPWSTR* text) {
      if (!From(self)->message.is_string()) return E_INVALIDARG;
      return GiveString(From(self)->message.get<std::string>(), text);
    };
  }
  std::string source;
  json message;
};

struct NavigationArgs : ComObject<NavigationArgs, ICoreWebView2NavigationStartingEventArgs,
                                  ICoreWebView2NavigationStartingEventArgsVtbl> {
  static constexpr char kName[] = "ICoreWebView2NavigationStartingEventArgs";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, IID_ICoreWebView2NavigationStartingEventArgs);
  }
  static void Play(ICoreWebView2NavigationStartingEventArgsVtbl& table) {
    table.get_Uri = [](ICoreWebView2NavigationStartingEventArgs* self, LPWSTR* uri) {
      return GiveString(From(self)->uri, uri);
    };
    table.get_IsUserInitiated = [](ICoreWebView2NavigationStartingEventArgs*, BOOL* value) {
      *value = FALSE;
      return S_OK;
    };
    table.get_IsRedirected = [](ICoreWebView2NavigationStartingEventArgs*, BOOL* value) {
      *value = FALSE;
      return S_OK;
    };
    table.get_Cancel = [](ICoreWebView2NavigationStartingEventArgs* self, BOOL* value) {
      *value = From(self)->cancel ? TRUE : FALSE;
      return S_OK;
    };
    table.put_Cancel = [](ICoreWebView2NavigationStartingEventArgs* self, BOOL value) {
      From(self)->cancel = value != FALSE;
      return S_OK;
    };
  }
  std::string uri;
  bool cancel = false;
};

struct NewWindowArgs : ComObject<NewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs,
                                 ICoreWebView2NewWindowRequestedEventArgsVtbl> {
  static constexpr char kName[] = "ICoreWebView2NewWindowRequestedEventArgs";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, IID_ICoreWebView2NewWindowRequestedEventArgs);
  }
  static void Play(ICoreWebView2NewWindowRequestedEventArgsVtbl& table) {
    table.get_Uri = [](ICoreWebView2NewWindowRequestedEventArgs* self, LPWSTR* uri) {
      return GiveString(From(self)->uri, uri);
    };
    table.get_IsUserInitiated = [](ICoreWebView2NewWindowRequestedEventArgs* self, BOOL* value) {
      *value = From(self)->userInitiated ? TRUE : FALSE;
      return S_OK;
    };
    table.put_Handled = [](ICoreWebView2NewWindowRequestedEventArgs* self, BOOL value) {
      From(self)->handled = value != FALSE;
      return S_OK;
    };
    table.get_Handled = [](ICoreWebView2NewWindowRequestedEventArgs* self, BOOL* value) {
      *value = From(self)->handled ? TRUE : FALSE;
      return S_OK;
    };
  }
  std::string uri;
  bool userInitiated = false;
  bool handled = false;
};

struct ProcessFailedArgs : ComObject<ProcessFailedArgs, ICoreWebView2ProcessFailedEventArgs,
                                     ICoreWebView2ProcessFailedEventArgsVtbl> {
  static constexpr char kName[] = "ICoreWebView2ProcessFailedEventArgs";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, IID_ICoreWebView2ProcessFailedEventArgs);
  }
  static void Play(ICoreWebView2ProcessFailedEventArgsVtbl& table) {
    table.get_ProcessFailedKind = [](ICoreWebView2ProcessFailedEventArgs* self,
                                     COREWEBVIEW2_PROCESS_FAILED_KIND* kind) {
      *kind = From(self)->kind;
      return S_OK;
    };
  }
  COREWEBVIEW2_PROCESS_FAILED_KIND kind = COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED;
};

// The handlers the host registered for one event; each is kept for the life of the process.
template <typename Handler>
struct Subscribers {
  std::vector<Handler*> handlers;

  HRESULT Add(const char* name, Handler* handler, EventRegistrationToken* token) {
    FakeRuntime::Get().RecordCall({{"call", name}, {"token", token != nullptr}});
    // The runtime refuses a registration it could not hand a token back for.
    if (handler == nullptr || token == nullptr) return E_POINTER;
    handler->lpVtbl->AddRef(handler);
    handlers.push_back(handler);
    token->value = static_cast<INT64>(handlers.size());
    return S_OK;
  }
};

struct WebView : ComObject<WebView, ICoreWebView2_3, ICoreWebView2_3Vtbl> {
  static constexpr char kName[] = "ICoreWebView2_3";
  static bool Answers(REFIID iid) {
    return IsEqualIID(iid, IID_ICoreWebView2) || IsEqualIID(iid, IID_ICoreWebView2_2) ||
           (IsEqualIID(iid, IID_ICoreWebView2_3) && !RefusesLaterVersions());
  }
  static bool RefusesLaterVersions() {
    if (FakeRuntime::Get().EnvironmentMode() != "no-webview3") return false;
    FakeRuntime::Get().RecordEvent({{"event", "startFailed"}, {"why", "no ICoreWebView2_3"}});
    return true;
  }
  static void Play(ICoreWebView2_3Vtbl& table);

  ICoreWebView2* AsBase() { return reinterpret_cast<ICoreWebView2*>(Get()); }
  void Load(const std::string& uri);
  bool StartNavigation(const std::string& uri, bool frame);
  void RunSteps(const json& steps);
  void RunStep(const json& step);

  Subscribers<ICoreWebView2WebMessageReceivedEventHandler> messages;
  Subscribers<ICoreWebView2NavigationStartingEventHandler> navigations;
  Subscribers<ICoreWebView2NavigationStartingEventHandler> frameNavigations;
  Subscribers<ICoreWebView2NewWindowRequestedEventHandler> newWindows;
  Subscribers<ICoreWebView2ProcessFailedEventHandler> processFailures;
  Subscribers<ICoreWebView2DocumentTitleChangedEventHandler> titleChanges;
  bool pageLoaded = false;
  std::string title;   // the document's title, as a step of the page set it
  std::string source;  // the top-level document's URL, once one loaded
};

bool WebView::StartNavigation(const std::string& uri, bool frame) {
  auto* args = new NavigationArgs();
  args->uri = uri;
  for (auto* handler : frame ? frameNavigations.handlers : navigations.handlers)
    handler->lpVtbl->Invoke(handler, AsBase(), args->Get());
  const bool cancelled = args->cancel;
  args->Get()->lpVtbl->Release(args->Get());
  FakeRuntime::Get().RecordEvent(
      {{"event", "navigationStarting"}, {"uri", uri}, {"frame", frame}, {"cancelled", cancelled}});
  return !cancelled;
}

void WebView::Load(const std::string& uri) {
  if (!StartNavigation(uri, false) || pageLoaded) return;
  source = uri;
  pageLoaded = true;
  RunSteps(FakeRuntime::Get().Script().value("onPageLoaded", json::array()));
}

void WebView::RunSteps(const json& steps) {
  Get()->lpVtbl->AddRef(Get());
  for (const json& step : steps) {
    // One task per step: the page acts from the message loop, in order, as a real one would.
    FakeRuntime::Get().Later([this, step] { RunStep(step); });
  }
  FakeRuntime::Get().Later([this] { Get()->lpVtbl->Release(Get()); });
}

void WebView::RunStep(const json& step) {
  if (step.contains("post")) {
    auto* args = new MessageArgs();
    args->source = step.value("source", std::string(kStartPage));
    args->message = step["post"];
    FakeRuntime::Get().RecordEvent(
        {{"event", "posted"}, {"source", args->source}, {"message", args->message}});
    FakeRuntime::Get().MarkFirstMessage();
    for (auto* handler : messages.handlers) handler->lpVtbl->Invoke(handler, AsBase(), args->Get());
    args->Get()->lpVtbl->Release(args->Get());
  } else if (step.contains("navigate")) {
    StartNavigation(step["navigate"].get<std::string>(), step.value("frame", false));
  } else if (step.contains("newWindow")) {
    auto* args = new NewWindowArgs();
    args->uri = step["newWindow"].get<std::string>();
    args->userInitiated = step.value("userInitiated", false);
    for (auto* handler : newWindows.handlers)
      handler->lpVtbl->Invoke(handler, AsBase(), args->Get());
    FakeRuntime::Get().RecordEvent({{"event", "newWindowRequested"},
                                    {"uri", args->uri},
                                    {"userInitiated", args->userInitiated},
                                    {"handled", args->handled}});
    args->Get()->lpVtbl->Release(args->Get());
  } else if (step.contains("title")) {
    title = step["title"].get<std::string>();
    FakeRuntime::Get().RecordEvent({{"event", "titleChanged"}, {"title", title}});
    for (auto* handler : titleChanges.handlers) handler->lpVtbl->Invoke(handler, AsBase(), nullptr);
  } else if (step.contains("processFailed")) {
    auto* args = new ProcessFailedArgs();
    args->kind = static_cast<COREWEBVIEW2_PROCESS_FAILED_KIND>(step["processFailed"].get<int>());
    FakeRuntime::Get().RecordEvent({{"event", "processFailed"}, {"kind", args->kind}});
    for (auto* handler : processFailures.handlers)
      handler->lpVtbl->Invoke(handler, AsBase(), args->Get());
    args->Get()->lpVtbl->Release(args->Get());
  }
}

void WebView::Play(ICoreWebView2_3Vtbl& table) {
  table.get_Source = [](ICoreWebView2_3* self, LPWSTR* uri) {
    return GiveString(From(self)->source, uri);
  };
  table.get_Settings = [](ICoreWebView2_3*, ICoreWebView2Settings** settings) {
    FakeRuntime::Get().RecordCall({{"call", "get_Settings"}});
    *settings = (new Settings())->Get();
    return S_OK;
  };
  table.SetVirtualHostNameToFolderMapping = [](ICoreWebView2_3*, LPCWSTR host, LPCWSTR folder,
                                               COREWEBVIEW2_HOST_RESOURCE_ACCESS_KIND kind) {
    FakeRuntime::Get().RecordCall({{"call", "SetVirtualHostNameToFolderMapping"},
                                   {"host", NarrowOrNull(host)},
                                   {"folder", NarrowOrNull(folder)},
                                   {"kind", static_cast<int>(kind)}});
    return S_OK;
  };
  table.add_WebMessageReceived = [](ICoreWebView2_3* self,
                                    ICoreWebView2WebMessageReceivedEventHandler* handler,
                                    EventRegistrationToken* token) {
    return From(self)->messages.Add("add_WebMessageReceived", handler, token);
  };
  table.add_NavigationStarting = [](ICoreWebView2_3* self,
                                    ICoreWebView2NavigationStartingEventHandler* handler,
                                    EventRegistrationToken* token) {
    return From(self)->navigations.Add("add_NavigationStarting", handler, token);
  };
  table.add_FrameNavigationStarting = [](ICoreWebView2_3* self,
                                         ICoreWebView2NavigationStartingEventHandler* handler,
                                         EventRegistrationToken* token) {
    return From(self)->frameNavigations.Add("add_FrameNavigationStarting", handler, token);
  };
  table.add_NewWindowRequested = [](ICoreWebView2_3* self,
                                    ICoreWebView2NewWindowRequestedEventHandler* handler,
                                    EventRegistrationToken* token) {
    return From(self)->newWindows.Add("add_NewWindowRequested", handler, token);
  };
  table.get_DocumentTitle = [](ICoreWebView2_3* self, LPWSTR* title) {
    return GiveString(From(self)->title, title);
  };
  table.add_DocumentTitleChanged = [](ICoreWebView2_3* self,
                                      ICoreWebView2DocumentTitleChangedEventHandler* handler,
                                      EventRegistrationToken* token) {
    return From(self)->titleChanges.Add("add_DocumentTitleChanged", handler, token);
  };
  table.add_ProcessFailed = [](ICoreWebView2_3* self,
                               ICoreWebView2ProcessFailedEventHandler* handler,
                               EventRegistrationToken* token) {
    return From(self)->processFailures.Add("add_ProcessFailed", handler, token);
  };
  table.CallDevToolsProtocolMethod =
      [](ICoreWebView2_3*, LPCWSTR method, LPCWSTR parameters,
         ICoreWebView2CallDevToolsProtocolMethodCompletedHandler* handler) {
        FakeRuntime::Get().RecordCall({{"call", "CallDevToolsProtocolMethod"},
                                       {"method", NarrowOrNull(method)},
                                       {"parameters", NarrowOrNull(parameters)},
                                       {"handler", handler != nullptr}});
        return S_OK;
      };
  table.Navigate = [](ICoreWebView2_3* self, LPCWSTR uri) {
    const std::string target = Narrow(uri);
    FakeRuntime::Get().RecordCall({{"call", "Navigate"}, {"uri", target}});
    WebView* view = From(self);
    view->Get()->lpVtbl->AddRef(view->Get());
    FakeRuntime::Get().Later([view, target] {
      view->Load(target);
      view->Get()->lpVtbl->Release(view->Get());
    });
    return S_OK;
  };
  table.ExecuteScript = [](ICoreWebView2_3* self, LPCWSTR script,
                           ICoreWebView2ExecuteScriptCompletedHandler* handler) {
    const std::string text = Narrow(script);
    FakeRuntime::Get().RecordCall(
        {{"call", "ExecuteScript"}, {"script", text}, {"handler", handler != nullptr}});
    for (const json& rule : FakeRuntime::Get().Script().value("onScript", json::array())) {
      if (text.find(rule.value("contains", std::string())) != std::string::npos)
        From(self)->RunSteps(rule.value("steps", json::array()));
    }
    return S_OK;
  };
  table.OpenDevToolsWindow = [](ICoreWebView2_3*) {
    FakeRuntime::Get().RecordCall({{"call", "OpenDevToolsWindow"}});
    return S_OK;
  };
}

struct Controller : ComObject<Controller, ICoreWebView2Controller, ICoreWebView2ControllerVtbl> {
  static constexpr char kName[] = "ICoreWebView2Controller";
  static bool Answers(REFIID iid) { return IsEqualIID(iid, IID_ICoreWebView2Controller); }
  static void Play(ICoreWebView2ControllerVtbl& table) {
    table.put_Bounds = [](ICoreWebView2Controller*, RECT bounds) {
      FakeRuntime::Get().RecordCall({{"call", "put_Bounds"},
                                     {"left", bounds.left},
                                     {"top", bounds.top},
                                     {"right", bounds.right},
                                     {"bottom", bounds.bottom}});
      return S_OK;
    };
    table.put_IsVisible = [](ICoreWebView2Controller*, BOOL visible) {
      FakeRuntime::Get().RecordCall({{"call", "put_IsVisible"}, {"value", visible != FALSE}});
      return S_OK;
    };
    table.get_CoreWebView2 = [](ICoreWebView2Controller* self, ICoreWebView2** webView) {
      FakeRuntime::Get().RecordCall({{"call", "get_CoreWebView2"}});
      WebView* view = From(self)->webView;
      view->Get()->lpVtbl->AddRef(view->Get());
      *webView = view->AsBase();
      return S_OK;
    };
  }
  WebView* webView = new WebView();  // one reference, kept for the life of the process
};

struct Environment
    : ComObject<Environment, ICoreWebView2Environment, ICoreWebView2EnvironmentVtbl> {
  static constexpr char kName[] = "ICoreWebView2Environment";
  static bool Answers(REFIID iid) { return IsEqualIID(iid, IID_ICoreWebView2Environment); }
  static void Play(ICoreWebView2EnvironmentVtbl& table) {
    table.CreateCoreWebView2Controller =
        [](ICoreWebView2Environment*, HWND parent,
           ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
          FakeRuntime::Get().RecordCall({{"call", "CreateCoreWebView2Controller"},
                                         {"parent", reinterpret_cast<uintptr_t>(parent)}});
          if (handler == nullptr) return E_POINTER;
          handler->lpVtbl->AddRef(handler);
          FakeRuntime::Get().Later([handler] {
            if (FakeRuntime::Get().EnvironmentMode() == "no-controller") {
              handler->lpVtbl->Invoke(handler, HRESULT_FROM_WIN32(ERROR_INVALID_STATE), nullptr);
              FakeRuntime::Get().RecordEvent({{"event", "startFailed"}, {"why", "no controller"}});
            } else {
              auto* controller = new Controller();
              handler->lpVtbl->Invoke(handler, S_OK, controller->Get());
              controller->Get()->lpVtbl->Release(controller->Get());
            }
            handler->lpVtbl->Release(handler);
          });
          return S_OK;
        };
  }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  FakeRuntime& runtime = FakeRuntime::Get();
  runtime.Start();
  runtime.RecordCall({{"call", "CreateCoreWebView2EnvironmentWithOptions"},
                      {"browserFolder", NarrowOrNull(browserFolder)},
                      {"userDataFolder", NarrowOrNull(userDataFolder)},
                      {"options", options != nullptr},
                      {"runtimeVariables", g_runtimeVariablesAtLoad},
                      {"loadedFrom", OwnPath()}});
  // As when no runtime is installed.
  if (runtime.EnvironmentMode() == "fail-at-once") {
    runtime.RecordEvent({{"event", "startFailed"}, {"why", "no runtime, at once"}});
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  if (handler == nullptr) return E_POINTER;
  handler->lpVtbl->AddRef(handler);
  runtime.Later([handler] {
    if (FakeRuntime::Get().EnvironmentMode() == "fail-later") {
      handler->lpVtbl->Invoke(handler, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), nullptr);
      FakeRuntime::Get().RecordEvent({{"event", "startFailed"}, {"why", "no runtime, later"}});
    } else {
      auto* environment = new Environment();
      handler->lpVtbl->Invoke(handler, S_OK, environment->Get());
      environment->Get()->lpVtbl->Release(environment->Get());
    }
    handler->lpVtbl->Release(handler);
  });
  return S_OK;
}
