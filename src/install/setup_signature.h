#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

// The setup program, opened once for its signature check and held open until its process has
// started (install/process.h), so that the program that starts is the one that was checked. On
// Windows it is shared with readers only: the open fails while anyone holds the file open for
// writing, and while it is held nobody can write, rename or delete it. Elsewhere it is a plain
// descriptor (no publisher can be asked for there).
class HeldProgram {
 public:
  struct Native;  // the platform's open file

  // Null when the file cannot be opened so, with a Win32 error code in `error` (never 0).
  static std::unique_ptr<HeldProgram> Open(const std::filesystem::path& program, uint32_t& error);
  HeldProgram(std::filesystem::path path, std::unique_ptr<Native> native);
  ~HeldProgram();
  HeldProgram(const HeldProgram&) = delete;
  HeldProgram& operator=(const HeldProgram&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const Native& native() const { return *native_; }

 private:
  std::filesystem::path path_;
  std::unique_ptr<Native> native_;
};

// Before the setup program runs with administrator rights, its own Authenticode signature, read
// through the held file:
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
uint32_t CheckSetupSignature(const HeldProgram& program, std::string_view publisher,
                             std::string& detail);
