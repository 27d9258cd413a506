#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Before the setup program runs with administrator rights, its own Authenticode signature:
// the whole chain must be trusted (revocation checked as the system is configured) and the
// signer's name must be `publisher` exactly.
//
// Returns 0 when both hold; otherwise the failing code as a 32-bit HRESULT: WinVerifyTrust's
// own (0x800B0100 for no signature, ..., a bare Win32 error as 0x8007xxxx), or 0x800B010F when the
// signer's name differs, with the reason in `detail`. Only the Windows flavour has such signatures:
// elsewhere every program is refused with 0x800B0100 (a build there cannot ask for a publisher,
// cmake/ArchiveTrust.cmake).
inline constexpr uint32_t kSignerNameMismatch = 0x800B010Fu;  // CERT_E_CN_NO_MATCH
inline constexpr uint32_t kProgramNotSigned = 0x800B0100u;    // TRUST_E_NOSIGNATURE
uint32_t CheckSetupSignature(const std::filesystem::path& program, std::string_view publisher,
                             std::string& detail);
