#include <windows.h>
// After windows.h, whose types they use.
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/desktop_shell_win.h"

namespace {

// Releases the interface it holds.
template <typename T>
class Held {
 public:
  Held() = default;
  ~Held() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T** out() { return &pointer_; }
  void** out_void() { return reinterpret_cast<void**>(&pointer_); }

 private:
  T* pointer_ = nullptr;
};

// Holds a BSTR copy of a wide string.
class HeldBstr {
 public:
  explicit HeldBstr(const std::wstring& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~HeldBstr() { SysFreeString(value_); }
  HeldBstr(const HeldBstr&) = delete;
  HeldBstr& operator=(const HeldBstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace

HRESULT ShellExecuteThroughDesktop(const std::wstring& file, const std::wstring& folder) {
  Held<IShellWindows> windows;
  HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                __uuidof(IShellWindows), windows.out_void());
  if (FAILED(hr)) return hr;

  VARIANT noLocation;
  VariantInit(&noLocation);
  long desktopWindow = 0;
  Held<IDispatch> desktop;
  hr = windows->FindWindowSW(&noLocation, &noLocation, SWC_DESKTOP, &desktopWindow,
                             SWFO_NEEDDISPATCH, desktop.out());
  if (FAILED(hr)) return hr;
  if (hr == S_FALSE || desktop.get() == nullptr) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

  Held<IServiceProvider> services;
  if (FAILED(hr = desktop->QueryInterface(__uuidof(IServiceProvider), services.out_void()))) {
    return hr;
  }
  Held<IShellBrowser> browser;
  if (FAILED(hr = services->QueryService(SID_STopLevelBrowser, __uuidof(IShellBrowser),
                                         browser.out_void()))) {
    return hr;
  }
  Held<IShellView> view;
  if (FAILED(hr = browser->QueryActiveShellView(view.out()))) return hr;
  if (view.get() == nullptr) return E_NOINTERFACE;
  Held<IDispatch> background;
  if (FAILED(
          hr = view->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), background.out_void()))) {
    return hr;
  }
  Held<IShellFolderViewDual> folderView;
  if (FAILED(
          hr = background->QueryInterface(__uuidof(IShellFolderViewDual), folderView.out_void()))) {
    return hr;
  }
  Held<IDispatch> application;
  if (FAILED(hr = folderView->get_Application(application.out()))) return hr;
  if (application.get() == nullptr) return E_NOINTERFACE;
  Held<IShellDispatch2> shell;
  if (FAILED(hr = application->QueryInterface(__uuidof(IShellDispatch2), shell.out_void()))) {
    return hr;
  }

  const HeldBstr target(file);
  VARIANT none;
  VariantInit(&none);
  const HeldBstr directory(folder);
  VARIANT workingFolder;
  VariantInit(&workingFolder);
  if (!folder.empty()) {
    workingFolder.vt = VT_BSTR;
    workingFolder.bstrVal = directory.get();
  }
  VARIANT operation;
  VariantInit(&operation);
  const HeldBstr open(L"open");
  operation.vt = VT_BSTR;
  operation.bstrVal = open.get();
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  return shell->ShellExecute(target.get(), none, workingFolder, operation, show);
}
