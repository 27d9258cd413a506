#pragma once

#include <cstdint>

// Result codes in the shape the home platform uses: 32-bit values whose top bit marks a failure,
// with the facility in bits 16..26 and the error number in the low 16 bits. The page sees the low
// 16 bits of a platform's failure; a code of our own travels whole (HResultFromOwnCode).
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

// Codes of our own (base/page_results.h) start here, above every 16-bit number.
inline constexpr uint32_t kFirstOwnCode = 0x10000u;
// Bit 29 marks a code its maker defined; no platform call sets it, so a failure code with it
// set can only be one of ours.
inline constexpr uint32_t kOwnCodeBit = 0x20000000u;

// A code of our own (kFirstOwnCode upward) as a failure code: the low 16 bits hold its distance
// from kFirstOwnCode.
inline constexpr HResult HResultFromOwnCode(uint32_t code) {
  return static_cast<HResult>(0x80000000u | kOwnCodeBit | ((code - kFirstOwnCode) & 0xFFFFu));
}

// A number the page receives as a failure code: our own codes keep their kind, every other
// number is taken as a Win32 error.
inline constexpr HResult HResultFromPageResult(uint32_t code) {
  return code >= kFirstOwnCode ? HResultFromOwnCode(code) : HResultFromWin32(code);
}

// The number the page receives for a failure: a code of our own whole, a platform's code as its
// low 16 bits.
inline constexpr uint32_t PageResultOf(HResult code) {
  if ((static_cast<uint32_t>(code) & (0x80000000u | kOwnCodeBit)) == (0x80000000u | kOwnCodeBit)) {
    return kFirstOwnCode + LowWord(code);
  }
  return LowWord(code);
}
