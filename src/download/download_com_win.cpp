#include <objbase.h>
#include <windows.h>

#include "base/hex_string.h"
#include "download/download_engine.h"
#include "log/logger.h"

namespace {
constexpr char kCategory[] = "Engine.Download";
}  // namespace

// The worker enters an apartment of its own, because the transfer service is reached over COM
// from this thread. Process-wide security is set by whoever comes first; a later call is told
// it is too late, which is fine: the service only needs impersonation, the default.
HResult DownloadEngine::InitCom() {
  const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A thread already in another apartment can still reach the service, but that apartment is
  // not ours to leave: only S_OK and S_FALSE take a reference that LeaveCom must give back.
  comInitialized = SUCCEEDED(entered);
  if (FAILED(entered) && entered != RPC_E_CHANGED_MODE) {
    Logger::Log(LogLevel::Error, kCategory,
                "CoInitializeEx failed: " + ToHexString(static_cast<uint32_t>(entered)));
    return entered;
  }

  const HRESULT security =
      CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(security) && security != RPC_E_TOO_LATE) {
    Logger::Log(LogLevel::Error, kCategory,
                "CoInitializeSecurity failed: " + ToHexString(static_cast<uint32_t>(security)));
    return security;
  }
  return kOk;
}

void DownloadEngine::LeaveCom() {
  CoUninitialize();
  comInitialized = false;
}
