// The Windows program: the single-instance guard, then the Win32 window hosting the web view.

#include <windows.h>
//
#include <objbase.h>

#include "app/setup_web_view.h"
#include "app/single_instance_mutex.h"
#include "app/startup.h"
#include "app/web_view_webview2.h"
#include "app/window_win.h"
// Generated for each program (cmake/LoaderDigest.cmake): the loader the build put beside it.
#include "built_in_loader.h"

namespace {

int RunMainWindow(HINSTANCE instance) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return kExitStartFailed;

  // The window and the host live until the process ends: the host is the window's page, and
  // workers still running at exit answer through the window.
  Win32NativeWindow* window = Win32NativeWindow::Create(instance).release();
  if (window == nullptr) return kExitStartFailed;  // COM stays initialised: the process ends
  window->Show();
  window->ApplySystemLook();

  static WebView2Environment environment(WebView2LoaderBeside(CurrentExecutablePath()),
                                         kBuiltInLoaderSha256);
  StartHost(*window, environment);
  const int exitCode = window->RunMessageLoop();
  CoUninitialize();
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything loads a DLL: the program runs elevated from the folder it was saved to,
  // where anyone may have left a DLL named like a system one. From here on, DLLs that are not
  // already loaded (the delay-loaded imports, and whatever the system loads for us) come from
  // System32 only; the web view's loader is loaded by its full path.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  MutexInstanceLocks locks;
  return RunSingleInstance(locks, [instance] { return RunMainWindow(instance); });
}
