#include <windows.h>
// After windows.h, whose types they use.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <string>
#include <utility>

#include "base/utf_convert.h"
#include "install/setup_signature.h"

namespace {

// The simple display name of the certificate that signed the file, from the state that a
// successful verification leaves open.
std::string SignerName(HANDLE state) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  if (provider == nullptr) return {};
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (signer == nullptr) return {};
  CRYPT_PROVIDER_CERT* certificate = WTHelperGetProvCertFromChain(signer, 0);
  if (certificate == nullptr || certificate->pCert == nullptr) return {};
  const DWORD length =
      CertGetNameStringW(certificate->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length <= 1) return {};
  std::u16string name(length, u'\0');
  CertGetNameStringW(certificate->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                     reinterpret_cast<LPWSTR>(name.data()), length);
  name.resize(length - 1);
  return Utf16ToUtf8(name);
}

}  // namespace

struct HeldProgram::Native {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Native() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

HeldProgram::HeldProgram(std::filesystem::path path, std::unique_ptr<Native> native)
    : path_(std::move(path)), native_(std::move(native)) {}

HeldProgram::~HeldProgram() = default;

std::unique_ptr<HeldProgram> HeldProgram::Open(const std::filesystem::path& program,
                                               uint32_t& error) {
  auto native = std::make_unique<Native>();
  // Readers only: CreateProcessW's own open (read and execute, sharing read) still succeeds.
  native->handle = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (native->handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    error = code != 0 ? code : ERROR_GEN_FAILURE;
    return nullptr;
  }
  return std::make_unique<HeldProgram>(program, std::move(native));
}

uint32_t CheckSetupSignature(const HeldProgram& program, std::string_view publisher,
                             std::string& detail) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof(file);
  // The name tells the provider what kind of file it is; the bytes are read through the handle.
  file.pcwszFilePath = program.path().c_str();
  file.hFile = program.native().handle;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation of every certificate in the chain when the system checks revocation at all;
  // no provider flag overrides the system's own setting.
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;

  const auto status = static_cast<uint32_t>(
      WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
  // It can also answer a bare Win32 error (a file that cannot be opened): made an HRESULT, so
  // that the page's low 16 bits are that error and the log shows a failure code.
  uint32_t code = status <= 0xFFFFu && status != 0 ? 0x80070000u | status : status;
  if (status != 0) {
    detail = "the program's signature is not trusted";
  } else if (const std::string signer = SignerName(data.hWVTStateData); signer != publisher) {
    code = kSignerNameMismatch;
    detail =
        "the program is signed by \"" + signer + "\", not by \"" + std::string(publisher) + "\"";
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return code;
}
