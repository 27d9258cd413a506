#pragma once

#include <cstdint>

#include "base/page_results.h"

// The failure of one step of a transfer, as the number the page receives: a WinHTTP or Win32
// error number (the same numbers on every platform, base/hresult.h), an HTTP status outside 2xx
// (PageResultOfHttpStatus) or a code of our own (base/page_results.h). The type is [[nodiscard]] so
// that no step's failure is dropped unseen: a caller either acts on it or says in code that it does
// not.
class [[nodiscard]] TransferError {
 public:
  // No failure.
  constexpr TransferError() = default;
  // `code` 0 also means no failure.
  constexpr explicit TransferError(uint32_t code) : code_(code) {}

  // True for a failure.
  constexpr explicit operator bool() const { return code_ != 0; }
  constexpr uint32_t code() const { return code_; }

  friend constexpr bool operator==(TransferError, TransferError) = default;

 private:
  uint32_t code_ = 0;
};

// The status of a proxy that wants credentials.
inline constexpr uint32_t kHttpProxyAuthenticationRequired = 407;

// The page's number for an HTTP status that ends a transfer: the status as it came, except 407,
// which has a code of its own: within 400-599 the page could not tell it from a number passed
// through, and it has words of its own (the user's network, not the download, is at fault).
constexpr uint32_t PageResultOfHttpStatus(uint32_t status) {
  return status == kHttpProxyAuthenticationRequired ? page_result::kProxyCredentialsWanted : status;
}
