#pragma once

#include <cstdint>

// The results a download reports to the page (docs/page-contract.md, doDownload), besides 0,
// the low 16 bits of platform codes and HTTP statuses.
namespace download_result {
inline constexpr uint32_t kCancelled = 1602;         // ERROR_INSTALL_USEREXIT
inline constexpr uint32_t kUnknownState = 1603;      // ERROR_INSTALL_FAILURE
inline constexpr uint32_t kFailedNoDetail = 1604;    // ERROR_INSTALL_SUSPEND
inline constexpr uint32_t kTooManyTransient = 1460;  // ERROR_TIMEOUT
inline constexpr uint32_t kHashMismatch = 23;        // ERROR_CRC
inline constexpr uint32_t kSizeMismatch = 24;        // ERROR_BAD_LENGTH
}  // namespace download_result

namespace download_text {
inline constexpr char kUnknownState[] = "Download interrupted, unknown state";
inline constexpr char kFailedNoDetail[] = "ERROR: Download failed (permissions or network issue)";
inline constexpr char kUnknownError[] = "ERROR: Unknown error in the downloader";
inline constexpr char kTooManyTransient[] = "Too many transient errors, aborting download ";
inline constexpr char kManagerFailed[] = "Download manager failed to create instance.";
inline constexpr char kJobFailed[] = "Download manager failed to create job, ";
inline constexpr char kUrlRefused[] = "Download address refused by the download manager, ";
inline constexpr char kComFailed[] = "Failed to initialize COM: ";
inline constexpr char kJobDisplayName[] = "Velmorante: BITS Download";
}  // namespace download_text
