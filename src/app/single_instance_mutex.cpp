#include "app/single_instance_mutex.h"

#include <windows.h>

#include "base/utf_convert.h"

namespace {

struct Opened {
  HANDLE handle = nullptr;
  bool alreadyExisted = false;
};

// Creates the mutex, or opens it when the name exists. Ownership is requested so that a new
// mutex is owned from its first instant; for an existing one the request is ignored.
Opened CreateNamedMutex(const std::string& name) {
  const std::u16string wide = Utf8ToUtf16(name);
  Opened opened;
  opened.handle = CreateMutexW(nullptr, TRUE, reinterpret_cast<const wchar_t*>(wide.c_str()));
  // Read at once: the error is what tells a new mutex from an existing one.
  opened.alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  return opened;
}

}  // namespace

MutexInstanceLocks::MutexInstanceLocks(std::string namePrefix)
    : namePrefix_(std::move(namePrefix)) {}

MutexInstanceLocks::~MutexInstanceLocks() {
  for (void* handle : held_) CloseHandle(handle);
}

bool MutexInstanceLocks::IsHeldElsewhere(const char* name) {
  const Opened probe = CreateNamedMutex(namePrefix_ + name);
  // Closing the probe's own handle at once: had the name been free, it is gone again.
  if (probe.handle != nullptr) CloseHandle(probe.handle);
  return probe.alreadyExisted;
}

bool MutexInstanceLocks::Hold(const char* name) {
  const Opened held = CreateNamedMutex(namePrefix_ + name);
  if (held.alreadyExisted) {
    if (held.handle != nullptr) CloseHandle(held.handle);
    return false;
  }
  if (held.handle != nullptr) held_.push_back(held.handle);
  return true;
}
