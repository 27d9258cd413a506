#pragma once

#include <cstdint>

// The failure of one step of a transfer, as the number the page receives: a WinHTTP or Win32
// error number (the same numbers on every platform, base/hresult.h) or an HTTP status outside
// 2xx. The type is [[nodiscard]] so that no step's failure is dropped unseen: a caller either
// acts on it or says in code that it does not.
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
