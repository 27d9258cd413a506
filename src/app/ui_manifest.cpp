#include "app/ui_manifest.h"

#include <fstream>
#include <system_error>

#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "trust/built_in_trust.h"
#include "trust/release_manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFirstLine = "quillfetch-ui 1\n";
constexpr std::string_view kReleaseFirstLine = "quillfetch-ui 2\n";
// The manifest of a page's few dozen files is a few kilobytes.
constexpr uint64_t kMaxManifestBytes = 1u << 20;

// A listed path: names joined by "/", none empty, "." or "..", no "\" or NUL.
bool IsListedPath(std::string_view path) {
  if (path.empty()) return false;
  size_t at = 0;
  for (;;) {
    const size_t slash = path.find('/', at);
    const std::string_view name =
        path.substr(at, slash == std::string_view::npos ? slash : slash - at);
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos) {
      return false;
    }
    if (slash == std::string_view::npos) return true;
    at = slash + 1;
  }
}

// `path` below `root` as the manifest names it.
std::string ListedName(const fs::path& path, const fs::path& root) {
  const std::u8string text = path.lexically_relative(root).generic_u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<std::string> ReadFileUpTo(const fs::path& file, uint64_t limit) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  std::vector<char> block(64 * 1024);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    bytes.append(block.data(), static_cast<size_t>(in.gcount()));
    if (bytes.size() > limit) return std::nullopt;
  }
  if (!in.eof()) return std::nullopt;
  return bytes;
}

namespace {

// The "<name>: <value>\n" line at the start of `lines`, consumed; nullopt when it is not there.
std::optional<std::string_view> TakeLine(std::string_view& lines, std::string_view name) {
  const size_t end = lines.find('\n');
  if (end == std::string_view::npos || lines.substr(0, name.size()) != name ||
      lines.substr(name.size(), 2) != ": ") {
    return std::nullopt;
  }
  const std::string_view value = lines.substr(name.size() + 2, end - name.size() - 2);
  lines.remove_prefix(end + 1);
  return value;
}

// Empty when the release the manifest names (none for an empty product) is one `wanted` takes;
// else why not.
std::string RefuseRelease(std::string_view product, std::string_view version,
                          const UiRelease& wanted) {
  if (product.empty()) {
    if (wanted.product.empty() && wanted.minVersion.empty()) return "";
    return std::string(kUiManifestName) + " names no product and page version";
  }
  if (!wanted.product.empty() && product != wanted.product) {
    return std::string(kUiManifestName) + " is the page of " + std::string(product) + ", not of " +
           std::string(wanted.product);
  }
  const std::optional<Version> minimum = ParseVersion(wanted.minVersion);
  if (minimum && CompareVersions(*ParseVersion(version), *minimum) < 0) {
    return "the page is version " + std::string(version) + ", older than " +
           std::string(wanted.minVersion) + ", the lowest this program shows";
  }
  return "";
}

}  // namespace

std::optional<UiManifest> UiManifest::Load(const fs::path& folder,
                                           std::span<const uint8_t> publicKey, std::string& why) {
  return Load(folder, publicKey, UiRelease{BuiltInUiProduct(), BuiltInMinUiVersion()}, why);
}

std::optional<UiManifest> UiManifest::Load(const fs::path& folder,
                                           std::span<const uint8_t> publicKey,
                                           const UiRelease& wanted, std::string& why) {
  UiManifest manifest;
  std::error_code ec;
  manifest.root_ = fs::canonical(folder, ec);
  const std::optional<std::string> text =
      ec ? std::nullopt : ReadFileUpTo(manifest.root_ / kUiManifestName, kMaxManifestBytes);
  if (!text) {
    why = std::string("the folder has no readable ") + kUiManifestName;
    return std::nullopt;
  }
  const std::optional<SignedText> split = SplitSignedText(*text);
  const std::string_view first = split ? split->signedPart.substr(0, kFirstLine.size()) : "";
  if ((first != kFirstLine && first != kReleaseFirstLine) ||
      VerifyBytesSignature(publicKey, split->signedPart, split->der) != SignatureVerdict::kValid) {
    why = std::string(kUiManifestName) + " is not signed with the built-in key";
    return std::nullopt;
  }
  std::string_view lines = split->signedPart.substr(kFirstLine.size());
  std::optional<std::string_view> product;
  std::optional<std::string_view> version;
  if (first == kReleaseFirstLine) {
    product = TakeLine(lines, "product");
    version = product ? TakeLine(lines, "version") : std::nullopt;
    if (!version || !IsProductId(*product) || !ParseVersion(*version)) {
      why = std::string(kUiManifestName) + " names no valid product and page version";
      return std::nullopt;
    }
  }
  why = RefuseRelease(product.value_or(""), version.value_or(""), wanted);
  if (!why.empty()) return std::nullopt;
  while (!lines.empty()) {
    const size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    const std::optional<Sha256Digest> digest = DigestFromHex(line.substr(0, 64));
    const std::string path(line.substr(std::min<size_t>(line.size(), 66)));
    if (!digest || line.substr(64, 2) != "  " || !IsListedPath(path) || path == kUiManifestName ||
        !manifest.files_.emplace(path, *digest).second) {
      why = std::string(kUiManifestName) + " has a malformed line: " + std::string(line);
      return std::nullopt;
    }
    lines.remove_prefix(end + 1);  // every signed line ends in "\n"
  }

  size_t found = 0;
  for (auto it = fs::recursive_directory_iterator(manifest.root_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    const std::string path = ListedName(it->path(), manifest.root_);
    if (fs::is_directory(status) || path == kUiManifestName) continue;
    const auto listed = manifest.files_.find(path);
    if (!fs::is_regular_file(status) || listed == manifest.files_.end()) {
      why = "the folder holds " + path + ", which is not listed in " + kUiManifestName;
      return std::nullopt;
    }
    if (FileSha256(it->path()) != listed->second) {
      why = path + " has been changed since it was signed";
      return std::nullopt;
    }
    ++found;
  }
  if (ec) {
    why = "the folder could not be read: " + ec.message();
    return std::nullopt;
  }
  if (found != manifest.files_.size()) {
    why = std::string("a file listed in ") + kUiManifestName + " is missing";
    for (const auto& [path, digest] : manifest.files_) {
      if (!fs::exists(manifest.root_ / PathFromUtf8(path), ec)) {
        why = path + " is listed in " + kUiManifestName + " but missing";
        break;
      }
    }
    return std::nullopt;
  }
  return manifest;
}

std::optional<std::string> UiManifest::ReadListedFile(const fs::path& file,
                                                      std::string& why) const {
  const std::string path = ListedName(file, root_);
  const auto listed = files_.find(path);
  if (listed == files_.end()) {
    why = path + " is not listed in " + kUiManifestName;
    return std::nullopt;
  }
  std::optional<std::string> bytes = ReadFileUpTo(file, kMaxUiFileBytes);
  if (!bytes || BytesSha256(*bytes) != listed->second) {
    why = path + " has been changed since it was signed";
    return std::nullopt;
  }
  return bytes;
}

bool UiManifest::CopyTo(const fs::path& copy, std::string& why) const {
  for (const auto& [path, digest] : files_) {
    const fs::path relative = PathFromUtf8(path);
    const std::optional<std::string> bytes = ReadListedFile(root_ / relative, why);
    if (!bytes) return false;
    const fs::path target = copy / relative;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    out.close();
    if (ec || !out) {
      why = "the page's copy could not be written: " + PathToUtf8(target);
      return false;
    }
  }
  return true;
}

std::optional<fs::path> CopySignedUiFolder(const fs::path& folder,
                                           std::span<const uint8_t> publicKey, std::string& why) {
  const std::optional<UiManifest> manifest = UiManifest::Load(folder, publicKey, why);
  if (!manifest) return std::nullopt;
  const fs::path copy = NewWorkingFolderPath();
  std::error_code ec;
  CreateWorkingFolders(copy, copy, ec);
  if (ec) {
    why = "no folder for the page's copy: " + ec.message();
    return std::nullopt;
  }
  if (!manifest->CopyTo(copy, why)) {
    fs::remove_all(copy, ec);
    return std::nullopt;
  }
  return copy;
}
