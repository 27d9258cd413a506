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

// Win32 error numbers the download path reports.
namespace win32 {
inline constexpr uint32_t kAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr uint32_t kNotEnoughMemory = 8;    // ERROR_NOT_ENOUGH_MEMORY
inline constexpr uint32_t kWriteFault = 29;        // ERROR_WRITE_FAULT
inline constexpr uint32_t kDiskFull = 112;         // ERROR_DISK_FULL
inline constexpr uint32_t kFileTooLarge = 223;     // ERROR_FILE_TOO_LARGE
inline constexpr uint32_t kPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
inline constexpr uint32_t kAlreadyExists = 183;    // ERROR_ALREADY_EXISTS
inline constexpr uint32_t kDirectory = 267;        // ERROR_DIRECTORY
inline constexpr uint32_t kGenFailure = 31;        // ERROR_GEN_FAILURE
inline constexpr uint32_t kInvalidName = 123;      // ERROR_INVALID_NAME
inline constexpr uint32_t kFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
}  // namespace win32

// WinHTTP error numbers (also reported as Win32 errors).
namespace winhttp {
inline constexpr uint32_t kTimeout = 12002;
inline constexpr uint32_t kInvalidUrl = 12005;
inline constexpr uint32_t kUnrecognizedScheme = 12006;
inline constexpr uint32_t kNameNotResolved = 12007;
inline constexpr uint32_t kCannotConnect = 12029;
inline constexpr uint32_t kConnectionError = 12030;
inline constexpr uint32_t kResendRequest = 12032;
inline constexpr uint32_t kClientAuthCertNeeded = 12044;
inline constexpr uint32_t kInvalidServerResponse = 12152;
inline constexpr uint32_t kSecureFailure = 12175;
}  // namespace winhttp
