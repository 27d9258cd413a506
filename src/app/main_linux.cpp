// The Linux program: the single-instance guard, then the GTK window hosting the web view.

#include <gtk/gtk.h>

#include "app/app_context.h"
#include "app/single_instance_flock.h"
#include "app/startup.h"
#include "app/web_view_webkitgtk.h"
#include "app/window_gtk.h"

namespace {

int RunMainWindow() {
  if (!gtk_init_check(nullptr, nullptr)) return kExitStartFailed;  // no display

  // The window and the host live until the process ends: workers still running at exit may
  // reach them through g_app and g_setupWebView.
  auto* window = new GtkNativeWindow();
  g_app->hwnd = window;
  window->Show();

  static WebKitGtkEnvironment environment;
  StartHost(*window, environment);
  return window->RunMessageLoop();
}

}  // namespace

int main() {
  FlockInstanceLocks locks;
  return RunSingleInstance(locks, [] {
    g_app = new AppContext();
    return RunMainWindow();
  });
}
