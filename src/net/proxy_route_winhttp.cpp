// The proxies WinHTTP names on Windows: the user's (the settings, with automatic detection and
// the configuration script when they ask for them) and the machine-wide default.
#include <windows.h>
#include <winhttp.h>

#include "base/utf_convert.h"
#include "net/proxy_route.h"

namespace {

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
}

// Frees what WinHTTP allocated for the caller.
void Free(wchar_t* text) {
  if (text != nullptr) GlobalFree(text);
}

}  // namespace

std::optional<SystemProxy> SystemProxyForUrl(const std::string& url) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) {
    // No settings at all: detection is what the system would do.
    user = {};
    user.fAutoDetect = TRUE;
  }
  std::optional<SystemProxy> found;
  if (user.fAutoDetect || user.lpszAutoConfigUrl != nullptr) {
    HINTERNET session = WinHttpOpen(L"Velmorante-Downloader/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session != nullptr) {
      WINHTTP_AUTOPROXY_OPTIONS options{};
      if (user.lpszAutoConfigUrl != nullptr) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
      }
      if (user.fAutoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
      }
      options.fAutoLogonIfChallenged = TRUE;
      const std::u16string wide = Utf8ToUtf16(url);
      WINHTTP_PROXY_INFO info{};
      if (WinHttpGetProxyForUrl(session, reinterpret_cast<const wchar_t*>(wide.c_str()), &options,
                                &info)) {
        if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr &&
            *info.lpszProxy != L'\0') {
          found = SystemProxy{Narrow(info.lpszProxy), Narrow(info.lpszProxyBypass)};
        }
        Free(info.lpszProxy);
        Free(info.lpszProxyBypass);
      }
      WinHttpCloseHandle(session);
    }
  }
  // The settings' own proxy, when detection and the script named none.
  if (!found && user.lpszProxy != nullptr && *user.lpszProxy != L'\0') {
    found = SystemProxy{Narrow(user.lpszProxy), Narrow(user.lpszProxyBypass)};
  }
  Free(user.lpszProxy);
  Free(user.lpszProxyBypass);
  Free(user.lpszAutoConfigUrl);
  return found;
}

std::optional<SystemProxy> MachineProxyForUrl(const std::string&) {
  // The machine's setting names one proxy list for every URL; WinHTTP applies its bypass list.
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetDefaultProxyConfiguration(&info)) return std::nullopt;
  std::optional<SystemProxy> found;
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy != nullptr &&
      *info.lpszProxy != L'\0') {
    found = SystemProxy{Narrow(info.lpszProxy), Narrow(info.lpszProxyBypass)};
  }
  Free(info.lpszProxy);
  Free(info.lpszProxyBypass);
  return found;
}
