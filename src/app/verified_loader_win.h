#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

// Windows: the web view loader DLL as the build shipped it. It is the one library the program
// loads from the folder it was started from (usually the user's downloads), and it runs before
// the page is checked, so while the program is elevated a user process that replaced it would
// run code as administrator under the vendor's signed name.
//
// The build knows the exact file it puts beside the program and builds its SHA-256 in
// (cmake/LoaderDigest.cmake). The SDK's loader comes only as a DLL for this toolchain (its
// static library is built for another compiler), so it is not linked in: it is checked and
// copied instead.

// Shown in a message box when the loader beside the program is not the one it was built with.
inline constexpr char kLoaderRefusedText[] =
    "A file of this installer (WebView2Loader.dll) has been changed since its publisher built "
    "it, so it is not used and nothing will be installed. Get a new copy of this installer from "
    "its publisher.";

struct LoaderLoad {
  enum class Outcome {
    kLoaded,   // `module` is the loader
    kMissing,  // it could not be opened or read; `why` says so
    kChanged,  // its bytes are not the ones built in: nothing of it was loaded
    kNoCopy,   // verified, but no private copy could be made or loaded; `why` says so
  };
  Outcome outcome = Outcome::kMissing;
  HMODULE module = nullptr;
  std::string why;
};

// Loads the loader at `path` (by full path; its own imports from System32 only).
// While the process is elevated (base/elevation.h), the file is opened without write or delete
// sharing, so nobody can change it while it is read; its bytes are read through that handle and
// must hash to `expectedSha256` (64 lower-case hexadecimal digits). Those same bytes are then
// written to a private copy in the protected root (base/protected_folder_win.h), which is what
// is loaded: the file beside the program is never mapped. Not elevated, the file is loaded as
// it is: a process of the user's could run it anyway.
LoaderLoad LoadVerifiedLoader(const std::filesystem::path& path, std::string_view expectedSha256);
