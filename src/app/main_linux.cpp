// The Linux program: the single-instance guard, then the GTK window hosting the web view.

#include <gtk/gtk.h>

#include "app/single_instance_flock.h"
#include "app/startup.h"
#include "app/web_view_webkitgtk.h"
#include "app/window_gtk.h"

namespace {

int RunMainWindow() {
  if (!gtk_init_check(nullptr, nullptr)) return kExitStartFailed;  // no display

  // The window and the host live until the process ends: the host is the window's page, and
  // workers still running at exit answer through the window.
  auto* window = new GtkNativeWindow();
  window->Show();

  static WebKitGtkEnvironment environment;
  StartHost(*window, environment);
  return window->RunMessageLoop();
}

}  // namespace

int main() {
  FlockInstanceLocks locks;
  return RunSingleInstance(locks, [] { return RunMainWindow(); });
}
