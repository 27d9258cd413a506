#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "base/ascii.h"
#include "base/utf_convert.h"
#include "install/known_folder.h"

std::optional<std::string> KnownFolderPath(std::string_view name) {
  struct Known {
    std::string_view name;
    const KNOWNFOLDERID* id;
  } const kKnown[] = {
      {"ProgramFiles", &FOLDERID_ProgramFiles},
      {"ProgramFilesX86", &FOLDERID_ProgramFilesX86},
      {"ProgramFiles(x86)", &FOLDERID_ProgramFilesX86},
      {"ProgramW6432", &FOLDERID_ProgramFilesX64},
      {"CommonProgramFiles", &FOLDERID_ProgramFilesCommon},
      {"ProgramData", &FOLDERID_ProgramData},
      {"LocalAppData", &FOLDERID_LocalAppData},
      {"AppData", &FOLDERID_RoamingAppData},
      {"UserProfile", &FOLDERID_Profile},
      {"Public", &FOLDERID_Public},
      {"SystemRoot", &FOLDERID_Windows},
      {"windir", &FOLDERID_Windows},
  };
  for (const Known& known : kKnown) {
    if (!EqualsIgnoringAsciiCase(name, known.name)) continue;
    // KF_FLAG_DONT_VERIFY: the folder is not made or checked here; LocateProduct checks it.
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(*known.id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::optional<std::string> folder;
    if (SUCCEEDED(hr) && path != nullptr) {
      folder = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(path)));
    }
    CoTaskMemFree(path);
    return folder;
  }
  return std::nullopt;
}
