#include "app/verified_loader_win.h"

#include <string>

#include "base/elevation.h"
#include "base/protected_folder_win.h"
#include "base/sha256.h"
#include "base/utf_convert.h"

namespace fs = std::filesystem;

namespace {

// The SDK's loader is a few hundred kilobytes; a file far larger is not it.
constexpr LONGLONG kMaxLoaderBytes = 64ll << 20;

std::string ErrorText(DWORD error) {
  return "(error " + std::to_string(error) + ")";
}

std::string PathText(const fs::path& path) {
  return Utf16ToUtf8(path.u16string());
}

// All of the file's bytes, read through one handle that lets nobody write or delete it while
// it is open. False, with the reason in `why`, when it cannot be opened or read.
bool ReadWhileHeld(const fs::path& path, std::string& bytes, std::string& why) {
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, &security,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = "no loader at " + PathText(path) + " " + ErrorText(GetLastError());
    return false;
  }
  LARGE_INTEGER size{};
  bool read = GetFileSizeEx(file, &size) && size.QuadPart <= kMaxLoaderBytes;
  if (read) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (read && done < bytes.size()) {
      DWORD got = 0;
      read = ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                      nullptr) &&
             got > 0;
      done += got;
    }
  }
  if (!read) why = "the loader at " + PathText(path) + " cannot be read";
  CloseHandle(file);
  return read;
}

// Writes `bytes` as the loader's private copy in the protected root and loads it.
LoaderLoad LoadPrivateCopy(const std::string& bytes) {
  LoaderLoad load;
  load.outcome = LoaderLoad::Outcome::kNoCopy;
  std::error_code ec;
  const fs::path folder = OwnStateFolder("Loader", ec);
  if (ec) {
    load.why = "no safe folder for the loader's copy (" + ec.message() + ")";
    return load;
  }
  const fs::path copy = folder / L"WebView2Loader.dll";
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  const HANDLE file = CreateFileW(copy.c_str(), GENERIC_WRITE, 0, &security, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    load.why = "the loader's copy cannot be made " + ErrorText(GetLastError());
    return load;
  }
  DWORD written = 0;
  const bool wrote =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size();
  CloseHandle(file);
  if (!wrote) {
    load.why = "the loader's copy cannot be written";
    return load;
  }
  load.module = LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (load.module == nullptr) {
    load.why = "the loader's copy cannot be loaded " + ErrorText(GetLastError());
    return load;
  }
  load.outcome = LoaderLoad::Outcome::kLoaded;
  return load;
}

}  // namespace

LoaderLoad LoadVerifiedLoader(const fs::path& path, std::string_view expectedSha256) {
  LoaderLoad load;
  if (!ProcessIsElevated()) {
    load.module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (load.module != nullptr) {
      load.outcome = LoaderLoad::Outcome::kLoaded;
    } else {
      load.why = "no loader at " + PathText(path) + " " + ErrorText(GetLastError());
    }
    return load;
  }
  std::string bytes;
  if (!ReadWhileHeld(path, bytes, load.why)) return load;
  const std::optional<std::string> digest = Sha256Hex(bytes);
  if (!digest || *digest != expectedSha256) {
    load.outcome = LoaderLoad::Outcome::kChanged;
    load.why = "the loader at " + PathText(path) + " is not the one this program was built with " +
               "(SHA-256 " + digest.value_or("unknown") + ")";
    return load;
  }
  return LoadPrivateCopy(bytes);
}
