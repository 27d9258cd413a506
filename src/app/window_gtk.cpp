#include "app/window_gtk.h"

#include <gtk/gtk.h>

#include <string>

#include "app/app_icons.h"
#include "app/main_window_proc.h"
#include "app/window_messages.h"

namespace {

// The style class that marks our title bar, so the rules of kWindowCss reach nothing else.
constexpr char kTitleBarClass[] = "quillfetch-titlebar";

// Without a compositor GTK draws a 5-pixel frame around a client-side decorated window
// ("solid-csd"); removing it keeps the outer size exactly the one asked for.
//
// Under a dark desktop the title bar takes the same dark look under every theme and window
// manager (the style class is set then only); under a light one it is the theme's own. The
// page follows the same preference ("prefers-color-scheme"), so the two always match.
constexpr char kWindowCss[] =
    "window.solid-csd decoration { margin: 0; padding: 0; border: none; box-shadow: none; }"
    "headerbar.quillfetch-titlebar { background: #2b2b2b none; color: #eeeeec;"
    " border-color: #1c1c1c; box-shadow: none; text-shadow: none; }"
    "headerbar.quillfetch-titlebar:backdrop { background: #333333 none; color: #919190; }"
    "headerbar.quillfetch-titlebar button.titlebutton { background: none; color: #eeeeec;"
    " border-color: transparent; box-shadow: none; text-shadow: none; -gtk-icon-shadow: none; }"
    "headerbar.quillfetch-titlebar button.titlebutton:hover { background: #3d3d3d none; }"
    "headerbar.quillfetch-titlebar button.titlebutton:active { background: #474747 none; }"
    "headerbar.quillfetch-titlebar button.titlebutton:backdrop { color: #919190; }";

GdkPixbuf* LoadPng(const unsigned char* bytes, size_t size) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  if (loader == nullptr) return nullptr;
  GdkPixbuf* pixbuf = nullptr;
  const bool written = gdk_pixbuf_loader_write(loader, bytes, size, nullptr);
  if (gdk_pixbuf_loader_close(loader, nullptr) && written) {
    pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf != nullptr) g_object_ref(pixbuf);
  }
  g_object_unref(loader);
  return pixbuf;
}

// Icon groups 107 (large) and 108 (small). A missing icon is not an error.
void SetIcons(GtkWindow* window) {
  GList* icons = nullptr;
  if (GdkPixbuf* large = LoadPng(kLargeIconPng, kLargeIconPngSize)) {
    icons = g_list_append(icons, large);
  }
  if (GdkPixbuf* small = LoadPng(kSmallIconPng, kSmallIconPngSize)) {
    icons = g_list_append(icons, small);
  }
  if (icons == nullptr) return;
  gtk_window_set_default_icon_list(icons);
  gtk_window_set_icon_list(window, icons);
  g_list_free_full(icons, g_object_unref);
}

// The desktop's preference as the web view reads it for "prefers-color-scheme": the settings'
// dark-theme wish, or a dark variant of the theme ("Adwaita-dark", or "Adwaita:dark" from
// GTK_THEME).
bool DesktopPrefersDark() {
  GtkSettings* settings = gtk_settings_get_default();
  if (settings == nullptr) return false;
  gboolean preferDark = FALSE;
  gchar* themeName = nullptr;
  g_object_get(settings, "gtk-application-prefer-dark-theme", &preferDark, "gtk-theme-name",
               &themeName, nullptr);
  const std::string theme = themeName != nullptr ? themeName : "";
  g_free(themeName);
  const char* forced = g_getenv("GTK_THEME");
  const std::string variant = forced != nullptr ? forced : theme;
  return preferDark || variant.ends_with("-dark") || variant.ends_with(":dark");
}

void FlushDisplay() {
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

}  // namespace

GtkNativeWindow::GtkNativeWindow() : thread_(std::this_thread::get_id()) {
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kWindowCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_title(window, "");
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  // Keeps the empty title blank under every window manager tried.
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  SetIcons(window);

  GtkWidget* header = gtk_header_bar_new();
  gtk_header_bar_set_title(GTK_HEADER_BAR(header), "");
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), TRUE);
  gtk_header_bar_set_decoration_layout(GTK_HEADER_BAR(header), ":close");
  gtk_window_set_titlebar(window, header);
  gtk_widget_show(header);
  header_ = header;
  FollowColourScheme();
  GtkSettings* settings = gtk_settings_get_default();
  g_signal_connect(settings, "notify::gtk-application-prefer-dark-theme",
                   G_CALLBACK(&GtkNativeWindow::OnColourSchemeChanged), this);
  g_signal_connect(settings, "notify::gtk-theme-name",
                   G_CALLBACK(&GtkNativeWindow::OnColourSchemeChanged), this);

  // A fixed-size window takes its content's size request: the content is the outer size less
  // the title bar.
  int headerMinimum = 0;
  int headerNatural = 0;
  gtk_widget_get_preferred_height(header, &headerMinimum, &headerNatural);
  content_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_widget_set_size_request(content_, kOuterWidth, kOuterHeight - headerNatural);
  gtk_container_add(GTK_CONTAINER(window_), content_);
  gtk_widget_show(content_);

  g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkNativeWindow::OnDeleteEvent), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(&GtkNativeWindow::OnDestroy), this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(&GtkNativeWindow::OnFocusIn), this);
}

GtkNativeWindow::~GtkNativeWindow() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (const Item& item : draining_) Discard(item);
    draining_.clear();
    for (const Item& item : queue_) Discard(item);
    queue_.clear();
    if (drainSource_ != 0) g_source_remove(drainSource_);
    drainSource_ = 0;
  }
  g_signal_handlers_disconnect_by_data(gtk_settings_get_default(), this);
  if (window_ != nullptr) {
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(window_);
  }
}

bool GtkNativeWindow::Enqueue(const Item& item) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  queue_.push_back(item);
  if (drainSource_ == 0) {
    // g_idle_add is safe from any thread. Not g_main_context_invoke: on the window thread that
    // would run the message at once, inside whatever handler posted it.
    drainSource_ = g_idle_add_full(G_PRIORITY_DEFAULT, &GtkNativeWindow::OnDrain, this, nullptr);
  }
  return true;
}

bool GtkNativeWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return Enqueue({Kind::kMessage, message, wParam, lParam});
}

int GtkNativeWindow::OnDrain(void* self) {
  static_cast<GtkNativeWindow*>(self)->Drain();
  return G_SOURCE_REMOVE;
}

bool GtkNativeWindow::TakeQueued(uint32_t message, uintptr_t& wParam, intptr_t& lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return false;
  // The batch being carried comes before anything posted since it was taken.
  std::deque<Item>& head = draining_.empty() ? queue_ : draining_;
  if (head.empty()) return false;
  const Item& next = head.front();
  if (next.kind != Kind::kMessage || next.message != message) return false;
  wParam = next.wParam;
  lParam = next.lParam;
  head.pop_front();
  return true;
}

void GtkNativeWindow::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    draining_.insert(draining_.end(), queue_.begin(), queue_.end());
    queue_.clear();
    drainSource_ = 0;
  }
  // Messages posted while this batch runs go to a later drain, so the order is kept. A drain
  // nested inside a message of this one (a loop run by a handler) carries on with the same
  // batch, in order.
  for (;;) {
    Item item;
    bool closed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (draining_.empty()) break;
      item = draining_.front();
      draining_.pop_front();
      closed = closed_;
    }
    if (closed) {
      Discard(item);
    } else {
      Carry(item);
    }
  }
}

void GtkNativeWindow::Carry(const Item& item) {
  switch (item.kind) {
    case Kind::kMessage:
      if (!MainWindowProc(*this, item.message, item.wParam, item.lParam)) Discard(item);
      return;
    case Kind::kShow:
      if (window_ != nullptr) {
        gtk_widget_show(window_);
        gtk_window_deiconify(GTK_WINDOW(window_));
        FlushDisplay();
      }
      return;
    case Kind::kHide:
      if (window_ != nullptr) {
        gtk_widget_hide(window_);
        FlushDisplay();
      }
      return;
    case Kind::kMinimize:
      if (window_ != nullptr) {
        gtk_window_iconify(GTK_WINDOW(window_));
        FlushDisplay();
      }
      return;
  }
}

void GtkNativeWindow::Discard(const Item& item) {
  if (item.kind == Kind::kMessage && item.message == WM_RUN_SCRIPT) {
    delete reinterpret_cast<std::string*>(item.wParam);
  }
}

void GtkNativeWindow::Show() {
  visible_ = true;
  if (OnWindowThread()) {
    Carry({Kind::kShow, 0, 0, 0});
  } else {
    Enqueue({Kind::kShow, 0, 0, 0});
  }
}

void GtkNativeWindow::Hide() {
  visible_ = false;
  if (OnWindowThread()) {
    Carry({Kind::kHide, 0, 0, 0});
  } else {
    Enqueue({Kind::kHide, 0, 0, 0});
  }
}

void GtkNativeWindow::ShowMinimized() {
  // A minimised window still counts as visible, as it does on Windows.
  if (OnWindowThread()) {
    Carry({Kind::kMinimize, 0, 0, 0});
  } else {
    Enqueue({Kind::kMinimize, 0, 0, 0});
  }
}

bool GtkNativeWindow::IsVisible() const {
  return visible_.load();
}

void GtkNativeWindow::Destroy() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return;
    closed_ = true;
    for (const Item& item : queue_) Discard(item);
    queue_.clear();
  }
  visible_ = false;
  // Emits "destroy", which becomes WM_DESTROY.
  if (window_ != nullptr) gtk_widget_destroy(window_);
}

void GtkNativeWindow::PostQuit(int exitCode) {
  exitCode_ = exitCode;
  quitRequested_ = true;
  if (gtk_main_level() > 0) gtk_main_quit();
}

int GtkNativeWindow::RunMessageLoop() {
  if (!quitRequested_) gtk_main();
  return exitCode_;
}

void GtkNativeWindow::SetContent(GtkWidget* child) {
  gtk_box_pack_start(GTK_BOX(content_), child, TRUE, TRUE, 0);
  gtk_widget_show(child);
}

void GtkNativeWindow::SetTitle(const std::string& title) {
  if (window_ == nullptr) return;
  gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
  gtk_header_bar_set_title(GTK_HEADER_BAR(header_), title.c_str());
}

void GtkNativeWindow::ShowWorkProgress(std::optional<double>) {
  // GTK offers no progress on a taskbar entry; the page shows it.
}

void GtkNativeWindow::RequestAttention() {
  if (window_ == nullptr || gtk_window_is_active(GTK_WINDOW(window_))) return;
  gtk_window_set_urgency_hint(GTK_WINDOW(window_), TRUE);
}

void GtkNativeWindow::FollowColourScheme() {
  GtkStyleContext* style = gtk_widget_get_style_context(header_);
  if (DesktopPrefersDark()) {
    gtk_style_context_add_class(style, kTitleBarClass);
  } else {
    gtk_style_context_remove_class(style, kTitleBarClass);
  }
}

void GtkNativeWindow::OnColourSchemeChanged(void*, void*, void* self) {
  auto* window = static_cast<GtkNativeWindow*>(self);
  if (window->window_ != nullptr) window->FollowColourScheme();
}

int GtkNativeWindow::OnFocusIn(GtkWidget* widget, void*, void*) {
  gtk_window_set_urgency_hint(GTK_WINDOW(widget), FALSE);
  return FALSE;
}

int GtkNativeWindow::OnDeleteEvent(GtkWidget*, void*, void* self) {
  // The page decides whether the window closes (see MainWindowProc).
  MainWindowProc(*static_cast<GtkNativeWindow*>(self), WM_CLOSE, 0, 0);
  return TRUE;
}

void GtkNativeWindow::OnDestroy(GtkWidget*, void* self) {
  auto* window = static_cast<GtkNativeWindow*>(self);
  window->window_ = nullptr;
  window->content_ = nullptr;
  window->header_ = nullptr;
  {
    std::lock_guard<std::mutex> lock(window->mutex_);
    window->closed_ = true;
  }
  window->visible_ = false;
  MainWindowProc(*window, WM_DESTROY, 0, 0);
}
