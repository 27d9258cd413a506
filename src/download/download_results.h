#pragma once

#include <cstdint>

// The texts a download reports to the page beside its result (base/page_results.h).
namespace download_text {
inline constexpr char kUnknownState[] = "Download interrupted, unknown state";
inline constexpr char kFailedNoDetail[] = "ERROR: Download failed (permissions or network issue)";
inline constexpr char kUnknownError[] = "ERROR: Unknown error in the downloader";
inline constexpr char kTooManyTransient[] = "Too many transient errors, aborting download ";
inline constexpr char kManagerFailed[] = "Download manager failed to create instance.";
inline constexpr char kJobFailed[] = "Download manager failed to create job, ";
inline constexpr char kUrlRefused[] = "Download address refused by the download manager, ";
inline constexpr char kComFailed[] = "Failed to initialize COM: ";
inline constexpr char kWebPageInsteadOfArchive[] =
    "The network answered with a web page instead of the download. If this network asks you to "
    "sign in (as at a hotel, an airport or a workplace), open a web browser, sign in there, then "
    "try the download again.";
inline constexpr char kProxyCredentialsWanted[] =
    "The network's proxy server asks for a user name and password, which this program cannot "
    "give. Ask your network's administrator to let this download through, or try the download "
    "again from another network.";
inline constexpr char kJobDisplayName[] = "Velmorante: BITS Download";
}  // namespace download_text
