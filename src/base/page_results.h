#pragma once

#include <cstdint>

// Every `result` the page can receive in an answer, each with what it means there. The tables of
// docs/page-contract.md list the same codes; scripts/check fails when the two disagree.
//
// Most are Win32 error numbers (the page was first written against the home platform), so a code
// keeps its Win32 name even where the Linux flavour reports it. Besides these the page receives,
// as they come: a setup program's own exit code, the low 16 bits of a platform failure code
// (COM, the transfer service, WinVerifyTrust) and the Win32 error of a program that could not be
// started. Code here names a result it gives the page through this list. Numbers that a backend
// only matches or passes on inside itself (Winsock's 10060, 10061 and 11001, the job's 5023 and
// 50, a proxy's HTTP 407) are named where they are used, the platform's name beside them, and a
// log line may carry a platform's whole failure code (hr=0x80096010).
namespace page_result {

// Everything asked for was done.
inline constexpr uint32_t kSuccess = 0;

// ERROR_FILE_NOT_FOUND: doUnZip's archive is missing, unreadable or not a ZIP archive.
inline constexpr uint32_t kFileNotFound = 2;
// ERROR_PATH_NOT_FOUND: a download's folder or file could not be reached.
inline constexpr uint32_t kPathNotFound = 3;
// ERROR_ACCESS_DENIED: a download's file or folder may not be written; on Windows also a working
// root that a non-administrator could tamper with.
inline constexpr uint32_t kAccessDenied = 5;
// ERROR_NOT_ENOUGH_MEMORY: a transfer could not allocate what it needs.
inline constexpr uint32_t kNotEnoughMemory = 8;
// ERROR_CRC: the downloaded archive's SHA-256 is not the one the page gave.
inline constexpr uint32_t kHashMismatch = 23;
// ERROR_BAD_LENGTH: the downloaded archive's size is not the one the page gave, or it is gone.
inline constexpr uint32_t kSizeMismatch = 24;
// ERROR_WRITE_FAULT: a download's file could not be written, for no more telling reason.
inline constexpr uint32_t kWriteFault = 29;
// ERROR_READ_FAULT: bytes a download over several connections wrote ahead could not be read
// back for the checks that hash the archive in order.
inline constexpr uint32_t kReadFault = 30;
// ERROR_GEN_FAILURE: the transfer service could not be reached, or doLaunchSetup broke down.
inline constexpr uint32_t kGenFailure = 31;
// ERROR_NOT_SUPPORTED: the system offers no way to do what was asked (no restart service, no
// installer for an installer package).
inline constexpr uint32_t kNotSupported = 50;
// ERROR_INVALID_PARAMETER: a member of the request is malformed; nothing was done.
inline constexpr uint32_t kInvalidParameter = 87;
// ERROR_DISK_FULL: the volume cannot take the download or the extraction.
inline constexpr uint32_t kDiskFull = 112;
// ERROR_CALL_NOT_IMPLEMENTED: the setup could not be started and no closer code exists.
inline constexpr uint32_t kNoMatchingCode = 120;
// ERROR_INVALID_NAME: a download's file name is not one the system accepts.
inline constexpr uint32_t kInvalidName = 123;
// ERROR_WAIT_NO_CHILDREN: the setup ran but its exit status could not be collected.
inline constexpr uint32_t kNoExitStatus = 128;
// ERROR_BAD_PATHNAME: a relative launcherName leads out of unzipdir, or the product's program
// out of the product's folder; nothing was started.
inline constexpr uint32_t kNameLeavesFolder = 161;
// ERROR_BUSY: a restart was asked for while a download, an extraction or a clean-up runs.
inline constexpr uint32_t kBusy = 170;
// ERROR_ENVVAR_NOT_FOUND: the product folder names an environment variable that is not set.
inline constexpr uint32_t kEnvVarNotFound = 203;
// ERROR_ALREADY_EXISTS: something already stands where a download's folder must be made.
inline constexpr uint32_t kAlreadyExists = 183;
// ERROR_FILENAME_EXCED_RANGE: a download's path is longer than the system takes.
inline constexpr uint32_t kFilenameTooLong = 206;
// ERROR_FILE_TOO_LARGE: the download is larger than the volume's files may be.
inline constexpr uint32_t kFileTooLarge = 223;
// Low word of TRUST_E_NOSIGNATURE (0x800B0100): with a key built in, an archive without a
// signature that could be read, an archive that was not the one verified, or a setup program
// that no verified archive brought.
inline constexpr uint32_t kNoSignature = 256;
// Low word of CERT_E_EXPIRED (0x800B0101): the signed release is older than min_version.
inline constexpr uint32_t kOlderRelease = 257;
// ERROR_DIRECTORY: a file stands where a download's folder must be.
inline constexpr uint32_t kDirectory = 267;
// Low word of CERT_E_CN_NO_MATCH (0x800B010F): the setup is signed by another publisher.
inline constexpr uint32_t kOtherPublisher = 271;
// Low word of CERT_E_WRONG_USAGE (0x800B0110): the signed release is for another product, or
// the signature is bare where a release is asked for.
inline constexpr uint32_t kOtherRelease = 272;
// Nothing exists at the setup program's path.
inline constexpr uint32_t kNothingAtPath = 404;
// ERROR_INTERNAL_ERROR: doWriteLog or doGetLogData met a member or a logged text it cannot use.
inline constexpr uint32_t kLoggingError = 1359;
// ERROR_TIMEOUT: the background job met more transient errors than it retries.
inline constexpr uint32_t kTooManyTransient = 1460;
// ERROR_INSTALL_USEREXIT: the work was cancelled (doCancel, doClose, a newer request).
inline constexpr uint32_t kCancelled = 1602;
// ERROR_INSTALL_FAILURE: the background job reported a state it should never be in.
inline constexpr uint32_t kUnknownState = 1603;
// ERROR_INSTALL_SUSPEND: the background job failed and said nothing more.
inline constexpr uint32_t kFailedNoDetail = 1604;
// ERROR_INSTALL_TEMP_UNWRITABLE: an archive entry failed by itself.
inline constexpr uint32_t kEntryFailed = 1632;
// WinHTTP's numbers, which the direct transfer reports on both platforms.
inline constexpr uint32_t kHttpTimeout = 12002;             // ERROR_WINHTTP_TIMEOUT
inline constexpr uint32_t kHttpInvalidUrl = 12005;          // ERROR_WINHTTP_INVALID_URL
inline constexpr uint32_t kHttpUnrecognizedScheme = 12006;  // ERROR_WINHTTP_UNRECOGNIZED_SCHEME
inline constexpr uint32_t kHttpNameNotResolved = 12007;     // ERROR_WINHTTP_NAME_NOT_RESOLVED
inline constexpr uint32_t kHttpCannotConnect = 12029;       // ERROR_WINHTTP_CANNOT_CONNECT
inline constexpr uint32_t kHttpConnectionError = 12030;     // ERROR_WINHTTP_CONNECTION_ERROR
inline constexpr uint32_t kHttpResendRequest = 12032;       // ERROR_WINHTTP_RESEND_REQUEST
inline constexpr uint32_t kHttpClientCertNeeded = 12044;    // ..._CLIENT_AUTH_CERT_NEEDED
inline constexpr uint32_t kHttpInvalidResponse = 12152;     // ..._INVALID_SERVER_RESPONSE
inline constexpr uint32_t kHttpSecureFailure = 12175;       // ERROR_WINHTTP_SECURE_FAILURE
// The low word of the signature check's TRUST_E_BAD_DIGEST (0x80096010): a signature that does
// not verify the archive, or an archive whose bytes changed after they verified.
inline constexpr uint32_t kBadSignature = 24592;
// Codes of our own: meanings no platform gives a number, so they lie above every number a
// platform path passes through (Win32 errors and the low 16 bits of a failure code stay below
// 65536, HTTP statuses below 600). A page may then trust that such a code means what it says.
// scripts/check holds every code of this namespace to that.
inline namespace own {
// A download was answered with a web page (a captive network's sign-in page, an error page sent
// as a success) instead of the archive; nothing was kept.
inline constexpr uint32_t kWebPageInsteadOfArchive = 65536;
// A proxy (the system's, used after a direct connection could not be made, or one on the way)
// answered HTTP 407: it wants credentials the program has none of; either transfer ends at once.
inline constexpr uint32_t kProxyCredentialsWanted = 65537;
// doOpenProduct while the installer runs with administrator rights and the desktop's shell could
// not start the product as the signed-in user: it is not started with the installer's rights.
inline constexpr uint32_t kProductNotStartedElevated = 65600;
// doOpenProduct before a setup that this run started succeeded: nothing was installed to open.
inline constexpr uint32_t kNoSetupSucceeded = 65601;
// doOpenProduct for a folder or program other than the productFolder and productProgram of the
// page's config.json (or config.json names none, or cannot be read as the page was signed).
inline constexpr uint32_t kNotTheConfiguredProduct = 65602;
// doRestartSystem when no setup that this run started asked for a restart (3010 or 1641), or
// after the restart it asked for was asked of the system already.
inline constexpr uint32_t kRestartNotAsked = 65603;
}  // namespace own

// -1 on the wire: doDataExchange has nothing stored to give.
inline constexpr uint32_t kNothingToExchange = 0xFFFFFFFF;

// An HTTP status the transfer did not get past, passed on as it came.
struct StatusRange {
  uint32_t first;
  uint32_t last;
  constexpr bool Contains(uint32_t code) const { return code >= first && code <= last; }
};
// A redirect that was not followed (another scheme, https to http, too many in a row).
inline constexpr StatusRange kHttpRedirect{300, 399};
// A failed request.
inline constexpr StatusRange kHttpFailure{400, 599};

}  // namespace page_result
