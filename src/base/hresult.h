#pragma once

#include <cstdint>

// Result codes in the shape the home platform uses: 32-bit values whose top bit marks a failure,
// with the facility in bits 16..26 and the error number in the low 16 bits. The page only ever
// sees the low 16 bits of a failure.
using HResult = int32_t;

inline constexpr HResult kOk = 0;

inline constexpr bool Failed(HResult code) {
  return code < 0;
}

// 0x80070000 + a Win32 (or WinHTTP) error number.
inline constexpr HResult HResultFromWin32(uint32_t error) {
  return error == 0 ? kOk : static_cast<HResult>(0x80070000u | (error & 0xFFFFu));
}

// 0x80190000 + an HTTP status, as the transfer service reports HTTP failures.
inline constexpr HResult HResultFromHttpStatus(uint32_t status) {
  return static_cast<HResult>(0x80190000u | (status & 0xFFFFu));
}

inline constexpr uint32_t LowWord(HResult code) {
  return static_cast<uint32_t>(code) & 0xFFFFu;
}
