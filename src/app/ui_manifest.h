#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "trust/archive_signature.h"

// The page's folder as the vendor signed it. With a key built in, the page has the host's full
// power, so the folder beside the program (which whoever can write there could change) is
// shown only as the key's owner signed it: scripts/sign-archive sign-ui writes
// kUiManifestName into the folder, in the layout of trust/archive_signature.h's SignedText:
//
//   quillfetch-ui 2
//   product: <the product's id>
//   version: <the page's version, as trust/release_manifest.h's ParseVersion takes it>
//   <SHA-256, 64 lower-case hexadecimal digits>  <path below the folder, "/" between names>
//   ...
//   signature: <base64 of the DER ECDSA signature over every byte above this line>
//
// The product and version make a page a release: a program built to show at least one version
// of its product's page (trust/built_in_trust.h) refuses another product's page and an older
// one, however validly signed. A first line "quillfetch-ui 1" with no product or version line
// is a page of no release, shown only by a program that asks for none.
//
// Load checks the whole folder at start; each backend then serves only what it can show was
// listed: Linux checks every file again as it serves it (ReadListedFile), Windows maps a
// private copy made from the checked bytes (CopyTo). Portable: the backends only carry bytes.

inline constexpr char kUiManifestName[] = "ui-manifest.txt";
// A served file is read whole to be checked before a byte of it is served; a page's file is far
// smaller than this.
inline constexpr uint64_t kMaxUiFileBytes = 64u << 20;

// Shown in the window instead of a page that was refused (the program shows no message box).
inline constexpr char kUiRefusedText[] =
    "This installer's page has been changed since its publisher signed it, so it is not shown "
    "and nothing will be installed. Get a new copy of this installer from its publisher.";

class UiManifest;

// At most `limit` bytes of `file`, read whole; nullopt when it cannot be read or is longer.
std::optional<std::string> ReadFileUpTo(const std::filesystem::path& file, uint64_t limit);

// For a web view that serves a folder itself (Windows): `folder` checked against its manifest
// and copied, from the checked bytes, into a fresh working folder (base/working_folder.h), which
// the user's other programs cannot change between the check and the page's use. The copy's
// path, or nullopt with the reason in `why`.
std::optional<std::filesystem::path> CopySignedUiFolder(const std::filesystem::path& folder,
                                                        std::span<const uint8_t> publicKey,
                                                        std::string& why);

// Which signed pages a program shows: empty members accept any.
struct UiRelease {
  std::string_view product;
  std::string_view minVersion;  // valid per ParseVersion when not empty
};

class UiManifest {
 public:
  // Checks `folder` against its manifest: the manifest's signature verifies with `publicKey`,
  // it names the product and a version `wanted` accepts, every file it lists is there with its
  // SHA-256, and the folder holds nothing else but the manifest: no other file, no link, no
  // special file. nullopt, with the reason in `why`, otherwise. Without `wanted`, what the
  // program was built with (trust/built_in_trust.h).
  static std::optional<UiManifest> Load(const std::filesystem::path& folder,
                                        std::span<const uint8_t> publicKey, std::string& why);
  static std::optional<UiManifest> Load(const std::filesystem::path& folder,
                                        std::span<const uint8_t> publicKey, const UiRelease& wanted,
                                        std::string& why);

  // The bytes of `file` (below the folder, as ui_scheme.h's ResolveUiRequest names it) when
  // the manifest lists it and they are the listed ones; nullopt with the reason otherwise. The
  // file is read once, whole: what was checked is what the caller serves.
  std::optional<std::string> ReadListedFile(const std::filesystem::path& file,
                                            std::string& why) const;

  // The folder's real path, which ReadListedFile's names are below.
  const std::filesystem::path& Root() const { return root_; }

  // Writes every listed file, checked as it is read, below `copy` (an existing, empty folder
  // that only this program can write). False, with the reason in `why`, at the first failure.
  bool CopyTo(const std::filesystem::path& copy, std::string& why) const;

 private:
  std::filesystem::path root_;                 // the folder's real path
  std::map<std::string, Sha256Digest> files_;  // by path below the folder, UTF-8, "/" between
};
