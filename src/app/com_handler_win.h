#pragma once

#include <windows.h>
//
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <utility>

// A completion or event handler of the web view SDK without WRL: a counted COM object that
// implements one handler interface and forwards Invoke to a function. It answers
// QueryInterface for IUnknown and its own interface only. The creator holds the first
// reference and releases it once the platform has taken its own.
//
// `Interface` is the SDK's handler interface; `Args` are the parameters of its Invoke. The IID
// is passed explicitly: the SDK's header gives mingw no __uuidof for its interfaces.
template <typename Interface, typename... Args>
class ComHandler final : public Interface {
 public:
  using Function = std::function<HRESULT(Args...)>;

  ComHandler(const IID& iid, Function function) : iid_(iid), function_(std::move(function)) {}

  ComHandler(const ComHandler&) = delete;
  ComHandler& operator=(const ComHandler&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --count_;
    if (remaining == 0) delete this;
    return remaining;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

 private:
  ~ComHandler() = default;

  const IID iid_;
  Function function_;
  std::atomic<ULONG> count_{1};
};
