#include "app/web_view_webkitgtk.h"

#include <webkit2/webkit2.h>

#include <utility>

#include "app/page_policy.h"
#include "app/ui_scheme.h"
#include "app/window_gtk.h"
#include "log/logger.h"
#include "trust/built_in_trust.h"

namespace {

// The channel the bridge script posts to: window.webkit.messageHandlers.quillfetch.
constexpr char kMessageChannel[] = "quillfetch";

// The page's messages reach the host only from the top frame of the UI page. The channel lives
// in a script world of its own, which no page script can enter, and only the top frame's copy
// of that world listens: the page hands it each message as a DOM event on its own document.
// A frame cannot post: it has no channel in its world, no bridge of its own, and a frame of
// another origin (a sandboxed srcdoc frame included) cannot reach the top document.
constexpr char kBridgeWorld[] = "quillfetch-bridge";

// In the bridge world, top frame only: forwards the page's message events to the channel.
constexpr char kChannelScript[] = R"JS((function () {
  'use strict';
  var handlers = window.webkit && window.webkit.messageHandlers;
  var channel = handlers && handlers.quillfetch;
  if (!channel) return;
  var post = channel.postMessage.bind(channel);
  document.addEventListener('quillfetch-message', function (event) {
    if (typeof event.detail === 'string') post(event.detail);
  });
})();)JS";

// In the page's world, top frame only: gives the page the message call of the Windows web view.
// What it uses is captured before any page script runs, and window.chrome cannot be replaced
// afterwards, so page code cannot break the bridge by accident.
constexpr char kBridgeScript[] = R"JS((function () {
  'use strict';
  var stringify = JSON.stringify;
  var dispatch = EventTarget.prototype.dispatchEvent;
  var BridgeEvent = CustomEvent;
  var target = document;
  var webview = Object.freeze({
    postMessage: function (message) {
      var text = stringify(message);
      dispatch.call(target, new BridgeEvent('quillfetch-message',
                                             { detail: text === undefined ? 'null' : text }));
    }
  });
  Object.defineProperty(window, 'chrome', {
    value: Object.freeze({ webview: webview }),
    writable: false, enumerable: false, configurable: false
  });
})();)JS";

// The desktop theme's window colour until the page paints: a page that follows the desktop's
// light or dark preference then appears without a flash of the other one.
GdkRGBA ThemeBackground(GtkWidget* widget) {
  GdkRGBA colour = {1.0, 1.0, 1.0, 1.0};
  if (!gtk_style_context_lookup_color(gtk_widget_get_style_context(widget), "theme_bg_color",
                                      &colour)) {
    colour = {1.0, 1.0, 1.0, 1.0};
  }
  colour.alpha = 1.0;  // a translucent view would show whatever lies behind the window
  return colour;
}

void OnBrowserStarted(GObject*, GAsyncResult* result, gpointer data) {
  gchar* uri = static_cast<gchar*>(data);
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
    Logger::Log(LogLevel::Warn, "engine",
                std::string("Could not open ") + uri + " in the default browser: " +
                    (error != nullptr ? error->message : "unknown error"));
    g_clear_error(&error);
  }
  g_free(uri);
}

// GIO's default handler for the URL's scheme: the user's browser, as the desktop names it.
// Asynchronous, so a browser started through D-Bus activation cannot stall the window.
void OpenInDefaultBrowser(GtkWidget* widget, const char* uri) {
  Logger::Log(LogLevel::Info, "engine", std::string("Opening ") + uri + " in the default browser");
  GdkAppLaunchContext* context = gdk_display_get_app_launch_context(gtk_widget_get_display(widget));
  g_app_info_launch_default_for_uri_async(uri, G_APP_LAUNCH_CONTEXT(context), nullptr,
                                          &OnBrowserStarted, g_strdup(uri));
  g_object_unref(context);
}

// Answers with `body`, `length` bytes long, which WebKit reads as it sends: a file is never
// held in memory whole.
void FinishWithStream(WebKitURISchemeRequest* request, int status, const char* reason,
                      GInputStream* body, gint64 length, const std::string& mimeType) {
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(body, length);
  webkit_uri_scheme_response_set_status(response, static_cast<guint>(status), reason);
  webkit_uri_scheme_response_set_content_type(response, mimeType.c_str());
  // Once headers are set they replace the content type given above, so it is repeated here.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Content-Type", mimeType.c_str());
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  soup_message_headers_append(headers, "X-Content-Type-Options", "nosniff");
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
}

void FinishWithError(WebKitURISchemeRequest* request, int status) {
  const char* reason = status == 403 ? "Forbidden" : status == 400 ? "Bad Request" : "Not Found";
  GInputStream* body = g_memory_input_stream_new_from_data(reason, strlen(reason), nullptr);
  FinishWithStream(request, status, reason, body, static_cast<gint64>(strlen(reason)),
                   "text/plain; charset=utf-8");
  g_object_unref(body);
}

std::string HostOfUri(const char* uri) {
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_ENCODED, nullptr);
  if (parsed == nullptr) return {};
  const char* host = g_uri_get_host(parsed);
  std::string result = host != nullptr ? host : "";
  if (g_uri_get_port(parsed) != -1 || g_uri_get_userinfo(parsed) != nullptr) result.clear();
  g_uri_unref(parsed);
  return result;
}

std::string ProfileFolder(const char* base) {
  gchar* path = g_build_filename(base, "quillfetch", "WebView", nullptr);
  std::string result = path;
  g_free(path);
  return result;
}

}  // namespace

// GLib signal handlers; friends of the view so they reach its state.
struct WebKitGtkWebView::Callbacks {
  static void ServeUiFile(WebKitURISchemeRequest* request, gpointer data) {
    auto* self = static_cast<WebKitGtkWebView*>(data);
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    const char* path = webkit_uri_scheme_request_get_path(request);
    if (self->host_.empty() || uri == nullptr || path == nullptr) {
      FinishWithError(request, 404);
      return;
    }
    UiResource resource = ResolveUiRequest(self->folder_, HostOfUri(uri), self->host_, path);
    if (self->uiRefused_) resource.status = 403;
    if (resource.status != 200) {
      Logger::Log(
          resource.status == 404 ? LogLevel::Debug : LogLevel::Warn, "engine",
          "Refused UI request " + std::string(uri) + " (" + std::to_string(resource.status) + ")");
      FinishWithError(request, resource.status);
      return;
    }
    if (self->signedUi_) {
      ServeSignedUiFile(request, *self->signedUi_, resource);
      return;
    }
    // Opened here, on the window's thread (an open and a stat); WebKit reads the stream on its
    // own as the page takes the body, so a large file costs neither memory nor a stalled window.
    GFile* file = g_file_new_for_path(resource.file.c_str());
    GFileInputStream* stream = g_file_read(file, nullptr, nullptr);
    g_object_unref(file);
    GFileInfo* info = stream != nullptr
                          ? g_file_input_stream_query_info(stream, G_FILE_ATTRIBUTE_STANDARD_SIZE,
                                                           nullptr, nullptr)
                          : nullptr;
    if (info == nullptr) {
      if (stream != nullptr) g_object_unref(stream);
      FinishWithError(request, 404);
      return;
    }
    const gint64 length = g_file_info_get_size(info);
    g_object_unref(info);
    FinishWithStream(request, 200, "OK", G_INPUT_STREAM(stream), length, resource.mimeType);
    g_object_unref(stream);
  }

  // The bytes that were checked are the bytes served: read whole, once (a page's files are
  // small), so a file changed after the start, or between check and read, is refused.
  static void ServeSignedUiFile(WebKitURISchemeRequest* request, const UiManifest& manifest,
                                const UiResource& resource) {
    std::string why;
    std::optional<std::string> bytes = manifest.ReadListedFile(resource.file, why);
    if (!bytes) {
      Logger::Log(LogLevel::Error, "engine", "Refused a UI file: " + why);
      FinishWithError(request, 403);
      return;
    }
    const gint64 length = static_cast<gint64>(bytes->size());
    auto* owned = new std::string(std::move(*bytes));
    GBytes* data = g_bytes_new_with_free_func(
        owned->data(), owned->size(), [](gpointer p) { delete static_cast<std::string*>(p); },
        owned);
    GInputStream* body = g_memory_input_stream_new_from_bytes(data);
    g_bytes_unref(data);
    FinishWithStream(request, 200, "OK", body, length, resource.mimeType);
    g_object_unref(body);
  }

  static void MessageReceived(WebKitUserContentManager*, WebKitJavascriptResult* result,
                              gpointer data) {
    auto* self = static_cast<WebKitGtkWebView*>(data);
    if (!self->viewAlive_ || !self->handler_) return;
    // The channel cannot tell who posted: the page shown stands for the poster.
    const char* current = webkit_web_view_get_uri(self->view_);
    if (current == nullptr || !self->policy_.MayDeliverMessage(current)) {
      Logger::Log(LogLevel::Warn, "engine",
                  std::string("Ignored a page message from ") + (current ? current : "(none)"));
      return;
    }
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) return;
    gchar* text = jsc_value_to_string(value);
    const std::string json = text != nullptr ? text : "";
    g_free(text);
    // A copy: the handler may replace itself while it runs.
    const MessageHandler handler = self->handler_;
    handler(json);
  }

  static gboolean DecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                               WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<WebKitGtkWebView*>(data);
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      return FALSE;
    }
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
      HandleNewWindow(self, action);
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
    if (uri != nullptr && self->policy_.MayNavigate(uri)) {
      webkit_policy_decision_use(decision);
    } else {
      // Any other site could otherwise download and launch programs through the host.
      Logger::Log(LogLevel::Warn, "engine",
                  std::string("Refused navigation to ") + (uri ? uri : "(none)"));
      webkit_policy_decision_ignore(decision);
    }
    return TRUE;
  }

  // A link with a new-window target asks through "decide-policy", window.open through
  // "create". The program never opens a window of its own for the page: a web link the user
  // followed goes to the browser, where it cannot reach the host.
  static void HandleNewWindow(WebKitGtkWebView* self, WebKitNavigationAction* action) {
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const char* shown = webkit_web_view_get_uri(self->view_);
    if (uri != nullptr && shown != nullptr &&
        self->policy_.DecideNewWindow(uri, webkit_navigation_action_is_user_gesture(action),
                                      shown) == PagePolicy::NewWindow::kOpenInBrowser) {
      OpenInDefaultBrowser(GTK_WIDGET(self->view_), uri);
    } else {
      Logger::Log(LogLevel::Warn, "engine",
                  std::string("Refused to open a new window for ") + (uri ? uri : "(none)"));
    }
  }

  static GtkWidget* CreateWebView(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    HandleNewWindow(static_cast<WebKitGtkWebView*>(data), action);
    return nullptr;  // no view: window.open gives the page null
  }

  static gboolean ContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                              gpointer data) {
    return static_cast<WebKitGtkWebView*>(data)->contextMenus_ ? FALSE : TRUE;
  }

  static void ProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                gpointer data) {
    static_cast<WebKitGtkWebView*>(data)->pageAlive_ = false;
    Logger::Log(
        LogLevel::Error, "engine",
        "WebView page process ended (reason " + std::to_string(static_cast<int>(reason)) + ")");
  }

  static void LoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_COMMITTED) static_cast<WebKitGtkWebView*>(data)->pageAlive_ = true;
  }

  static void TitleChanged(WebKitWebView* view, GParamSpec*, gpointer data) {
    auto* self = static_cast<WebKitGtkWebView*>(data);
    const char* title = webkit_web_view_get_title(view);
    const char* uri = webkit_web_view_get_uri(view);
    if (self->titleHandler_) {
      self->titleHandler_(WindowTitleFor(title != nullptr ? title : "", uri != nullptr ? uri : ""));
    }
  }

  static void ViewDestroyed(GtkWidget*, gpointer data) {
    static_cast<WebKitGtkWebView*>(data)->viewAlive_ = false;
  }
};

WebKitGtkWebView::WebKitGtkWebView(GtkNativeWindow& window) : window_(window) {
  // A profile of our own: runs of the program share it, other programs never do.
  const std::string data = ProfileFolder(g_get_user_data_dir());
  const std::string cache = ProfileFolder(g_get_user_cache_dir());
  dataManager_ = webkit_website_data_manager_new("base-data-directory", data.c_str(),
                                                 "base-cache-directory", cache.c_str(), nullptr);
  context_ = webkit_web_context_new_with_website_data_manager(dataManager_);
  webkit_web_context_register_uri_scheme(context_, kUiScheme, &Callbacks::ServeUiFile, this,
                                         nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context_);
  webkit_security_manager_register_uri_scheme_as_secure(security, kUiScheme);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kUiScheme);

  contentManager_ = webkit_user_content_manager_new();
  // Connected before registering, so no message can arrive unheard.
  g_signal_connect(contentManager_,
                   (std::string("script-message-received::") + kMessageChannel).c_str(),
                   G_CALLBACK(&Callbacks::MessageReceived), this);
  webkit_user_content_manager_register_script_message_handler_in_world(
      contentManager_, kMessageChannel, kBridgeWorld);
  WebKitUserScript* channel = webkit_user_script_new_for_world(
      kChannelScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kBridgeWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(contentManager_, channel);
  webkit_user_script_unref(channel);
  WebKitUserScript* bridge =
      webkit_user_script_new(kBridgeScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(contentManager_, bridge);
  webkit_user_script_unref(bridge);

  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  // The page is a small local form: software drawing looks the same and saves about 55 MB.
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);

  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_,
                                       "user-content-manager", contentManager_, "settings",
                                       settings, nullptr));
  g_object_unref(settings);
  g_object_ref_sink(view_);
  const GdkRGBA background = ThemeBackground(GTK_WIDGET(view_));
  webkit_web_view_set_background_color(view_, &background);

  g_signal_connect(view_, "decide-policy", G_CALLBACK(&Callbacks::DecidePolicy), this);
  g_signal_connect(view_, "create", G_CALLBACK(&Callbacks::CreateWebView), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(&Callbacks::ContextMenu), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(&Callbacks::ProcessTerminated),
                   this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&Callbacks::LoadChanged), this);
  g_signal_connect(view_, "notify::title", G_CALLBACK(&Callbacks::TitleChanged), this);
  g_signal_connect(view_, "destroy", G_CALLBACK(&Callbacks::ViewDestroyed), this);
}

WebKitGtkWebView::~WebKitGtkWebView() {
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(contentManager_, this);
  if (viewAlive_) gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
  g_object_unref(contentManager_);
  g_object_unref(context_);
  g_object_unref(dataManager_);
}

void WebKitGtkWebView::SetContextMenusEnabled(bool enabled) {
  contextMenus_ = enabled;
}

void WebKitGtkWebView::SetDevToolsEnabled(bool enabled) {
  webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view_), enabled);
  LogSettings();  // set second, so the line states both
}

void WebKitGtkWebView::LogSettings() const {
  const bool devTools =
      webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view_));
  Logger::Log(LogLevel::Debug, "engine",
              std::string("WebView settings: context menus ") + (contextMenus_ ? "on" : "off") +
                  ", developer tools " + (devTools ? "on" : "off"));
}

void WebKitGtkWebView::MapFolderToHost(const std::string& hostName,
                                       const std::filesystem::path& folder) {
  host_ = hostName;
  policy_ = PagePolicy(kUiScheme, hostName);
  folder_ = folder;
  // With a key built in, the page is the one its vendor signed or none: it drives the host.
  const std::span<const uint8_t> key = BuiltInArchiveKey();
  if (key.empty()) return;
  std::string why;
  signedUi_ = UiManifest::Load(folder, key, why);
  uiRefused_ = !signedUi_;
  if (!uiRefused_) return;
  Logger::Log(LogLevel::Error, "engine", "The UI folder was refused: " + why);
  pageAlive_ = false;  // no page will answer the close button: it closes the window at once
}

void WebKitGtkWebView::FillWindow() {
  if (uiRefused_) {
    // Native text in place of the view: nothing of the refused folder is ever loaded.
    GtkWidget* label = gtk_label_new(kUiRefusedText);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 48);  // wraps within the fixed window
    gtk_widget_set_margin_start(label, 40);
    gtk_widget_set_margin_end(label, 40);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    window_.SetContent(label);
    return;
  }
  window_.SetContent(GTK_WIDGET(view_));
  gtk_widget_grab_focus(GTK_WIDGET(view_));
}

void WebKitGtkWebView::SetMessageHandler(MessageHandler handler) {
  handler_ = std::move(handler);
}

void WebKitGtkWebView::SetTitleHandler(TitleHandler handler) {
  titleHandler_ = std::move(handler);
}

void WebKitGtkWebView::ClearBrowserCache() {
  // Not awaited: the UI scheme's answers never enter the disk cache, and waiting would add
  // about 55 ms to every start.
  webkit_website_data_manager_clear(
      dataManager_,
      static_cast<WebKitWebsiteDataTypes>(WEBKIT_WEBSITE_DATA_MEMORY_CACHE |
                                          WEBKIT_WEBSITE_DATA_DISK_CACHE),
      0, nullptr, nullptr, nullptr);
}

void WebKitGtkWebView::Navigate(const std::string& url) {
  if (!viewAlive_ || uiRefused_) return;
  const std::string target = host_.empty() ? url : MapToUiScheme(url, host_);
  webkit_web_view_load_uri(view_, target.c_str());
}

void WebKitGtkWebView::ExecuteScript(const std::string& script) {
  if (!viewAlive_) return;
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
}

void WebKitGtkWebView::OpenDevToolsWindow() {
  if (!viewAlive_) return;
  if (!webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(view_))) return;
  webkit_web_inspector_show(webkit_web_view_get_inspector(view_));
}

void WebKitGtkEnvironment::CreateWebView(NativeWindow& window, ReadyCallback ready) {
  struct Pending {
    GtkNativeWindow* window;
    ReadyCallback ready;
  };
  auto* pending = new Pending{dynamic_cast<GtkNativeWindow*>(&window), std::move(ready)};
  // Handed over from the main loop, after start-up has returned into it.
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* p = static_cast<Pending*>(data);
        if (p->window == nullptr) {
          p->ready(nullptr);
        } else {
          p->ready(std::make_unique<WebKitGtkWebView>(*p->window));
        }
        return G_SOURCE_REMOVE;
      },
      pending, [](gpointer data) { delete static_cast<Pending*>(data); });
}
