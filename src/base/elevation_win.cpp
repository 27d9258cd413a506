#include <windows.h>

#include <atomic>

#include "base/elevation.h"

namespace {

std::atomic<int> g_override{-1};  // -1: no override; else 0 or 1

bool TokenIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL read =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
  CloseHandle(token);
  // When the answer cannot be had, the protected places are the safe assumption: they only cost
  // a process without rights a clear failure, where the user's folders would cost an elevated
  // one its safety.
  return !read || elevation.TokenIsElevated != 0;
}

}  // namespace

bool ProcessIsElevated() {
  const int forced = g_override.load();
  if (forced >= 0) return forced == 1;
  static const bool elevated = TokenIsElevated();
  return elevated;
}

void SetElevationForTesting(std::optional<bool> elevated) {
  g_override.store(elevated ? static_cast<int>(*elevated) : -1);
}
