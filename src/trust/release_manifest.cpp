#include "trust/release_manifest.h"

#include <algorithm>

namespace {

constexpr std::string_view kFirstLine = "quillfetch-release 1\n";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of the line "<name>: <value>\n" at `at`, moving `at` past it.
std::optional<std::string_view> TakeLine(std::string_view text, size_t& at, std::string_view name) {
  const std::string prefix = std::string(name) + ": ";
  if (text.substr(at, prefix.size()) != prefix) return std::nullopt;
  const size_t end = text.find('\n', at);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view value = text.substr(at + prefix.size(), end - at - prefix.size());
  at = end + 1;
  return value;
}

bool IsIdentifierChar(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

// Dot-separated identifiers, each 1 or more identifier characters.
std::optional<std::vector<std::string>> Identifiers(std::string_view text) {
  std::vector<std::string> identifiers;
  size_t at = 0;
  for (;;) {
    const size_t dot = text.find('.', at);
    const std::string_view part = text.substr(at, dot == std::string_view::npos ? dot : dot - at);
    if (part.empty() || !std::all_of(part.begin(), part.end(), IsIdentifierChar)) {
      return std::nullopt;
    }
    identifiers.emplace_back(part);
    if (dot == std::string_view::npos) return identifiers;
    at = dot + 1;
  }
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsDigit);
}

// Pre-release identifiers as semantic versioning orders them.
int CompareIdentifiers(const std::string& a, const std::string& b) {
  const bool numericA = AllDigits(a);
  const bool numericB = AllDigits(b);
  if (numericA != numericB) return numericA ? -1 : 1;
  // Without leading zeros, the longer number is the larger one, and equal lengths compare as text.
  if (numericA && a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

bool IsProductId(std::string_view text) {
  if (text.empty() || text.size() > 128) return false;
  const auto allowed = [](char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_' ||
           c == '-';
  };
  return std::all_of(text.begin(), text.end(), allowed) && allowed(text[0]) && text[0] != '.' &&
         text[0] != '_' && text[0] != '-';
}

std::optional<Version> ParseVersion(std::string_view text) {
  if (text.size() > 128) return std::nullopt;
  Version version;
  const size_t plus = text.find('+');
  if (plus != std::string_view::npos && !Identifiers(text.substr(plus + 1))) return std::nullopt;
  text = text.substr(0, plus);
  const size_t minus = text.find('-');
  if (minus != std::string_view::npos) {
    std::optional<std::vector<std::string>> preRelease = Identifiers(text.substr(minus + 1));
    if (!preRelease) return std::nullopt;
    for (const std::string& identifier : *preRelease) {
      if (identifier.size() > 1 && identifier[0] == '0' && AllDigits(identifier)) {
        return std::nullopt;
      }
    }
    version.preRelease = std::move(*preRelease);
  }
  text = text.substr(0, minus);
  size_t at = 0;
  for (;;) {
    const size_t dot = text.find('.', at);
    const std::string_view part = text.substr(at, dot == std::string_view::npos ? dot : dot - at);
    if (part.empty() || part.size() > 9 || !AllDigits(part) || version.numbers.size() == 4) {
      return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : part) value = value * 10 + static_cast<uint32_t>(c - '0');
    version.numbers.push_back(value);
    if (dot == std::string_view::npos) return version;
    at = dot + 1;
  }
}

int CompareVersions(const Version& a, const Version& b) {
  for (size_t i = 0; i < std::max(a.numbers.size(), b.numbers.size()); ++i) {
    const uint32_t x = i < a.numbers.size() ? a.numbers[i] : 0;
    const uint32_t y = i < b.numbers.size() ? b.numbers[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.preRelease.empty() || b.preRelease.empty()) {
    return a.preRelease.empty() == b.preRelease.empty() ? 0 : (a.preRelease.empty() ? 1 : -1);
  }
  for (size_t i = 0; i < std::min(a.preRelease.size(), b.preRelease.size()); ++i) {
    if (const int order = CompareIdentifiers(a.preRelease[i], b.preRelease[i])) return order;
  }
  if (a.preRelease.size() == b.preRelease.size()) return 0;
  return a.preRelease.size() < b.preRelease.size() ? -1 : 1;
}

std::optional<ArchiveSignature> ParseArchiveSignature(std::string_view text, std::string& why) {
  ArchiveSignature parsed;
  if (text.substr(0, kFirstLine.size()) != kFirstLine) {
    std::optional<std::vector<uint8_t>> der = DecodeBase64(text);
    if (!der) {
      why = "the signature is not base64 text";
      return std::nullopt;
    }
    parsed.der = std::move(*der);
    return parsed;
  }
  const std::optional<SignedText> split = SplitSignedText(text);
  if (!split) {
    why = "the release manifest has no signature line";
    return std::nullopt;
  }
  size_t at = kFirstLine.size();
  const std::string_view body = split->signedPart;
  const std::optional<std::string_view> product = TakeLine(body, at, "product");
  const std::optional<std::string_view> version = product ? TakeLine(body, at, "version") : product;
  const std::optional<std::string_view> sha256 = version ? TakeLine(body, at, "sha256") : version;
  const std::optional<Sha256Digest> digest = sha256 ? DigestFromHex(*sha256) : std::nullopt;
  if (!digest || at != body.size() || !IsProductId(*product) || !ParseVersion(*version)) {
    why = "the release manifest is malformed";
    return std::nullopt;
  }
  parsed.release = ReleaseManifest{std::string(*product), std::string(*version), *digest};
  parsed.signedPart = std::string(body);
  parsed.der = split->der;
  return parsed;
}

HResult CheckArchiveSignature(std::span<const uint8_t> publicKey, const ArchiveSignature& signature,
                              const Sha256Digest& archiveSha256, const ReleaseWanted& wanted,
                              std::string& why) {
  if (!signature.release) {
    // Bytes signed without a release: an older archive with its signature would pass as well.
    if (!wanted.product.empty() || !wanted.minVersion.empty()) {
      why = "the signature names no release, and the page asks for one";
      return trust_code::kOtherRelease;
    }
    if (VerifyDigestSignature(publicKey, archiveSha256, signature.der) !=
        SignatureVerdict::kValid) {
      why = "the signature does not match the archive";
      return trust_code::kBadSignature;
    }
    return kOk;
  }
  const ReleaseManifest& release = *signature.release;
  if (VerifyBytesSignature(publicKey, signature.signedPart, signature.der) !=
      SignatureVerdict::kValid) {
    why = "the release manifest's signature does not verify";
    return trust_code::kBadSignature;
  }
  if (release.archiveSha256 != archiveSha256) {
    why = "the signature does not match the archive";
    return trust_code::kBadSignature;
  }
  if (!wanted.product.empty() && release.product != wanted.product) {
    why = "the archive is a release of " + release.product + ", not of " + wanted.product;
    return trust_code::kOtherRelease;
  }
  const std::optional<Version> minimum = ParseVersion(wanted.minVersion);
  if (!wanted.minVersion.empty() &&
      (!minimum || CompareVersions(*ParseVersion(release.version), *minimum) < 0)) {
    why = "the archive is version " + release.version + ", older than " + wanted.minVersion;
    return trust_code::kOlderRelease;
  }
  return kOk;
}
