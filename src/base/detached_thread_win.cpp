#include <windows.h>

#include <process.h>

#include <memory>
#include <system_error>

#include "base/detached_thread.h"

namespace {

unsigned __stdcall RunBody(void* argument) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return 0;
}

}  // namespace

void StartDetachedThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  const uintptr_t thread = _beginthreadex(nullptr, 0, &RunBody, owned.get(), 0, nullptr);
  if (thread == 0) {
    throw std::system_error(errno, std::generic_category(), "cannot start a worker thread");
  }
  owned.release();  // the thread owns it now
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}
