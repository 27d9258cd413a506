#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trust/archive_signature.h"

// What an archive's signature vouches for. A signature over the archive's bytes alone (a bare
// signature) vouches for bytes: any archive ever signed with the key would pass. A release
// manifest vouches for one release of one product:
//
//   quillfetch-release 1
//   product: com.example.app
//   version: 2.4.1
//   sha256: <the archive's SHA-256, 64 lower-case hexadecimal digits>
//   signature: <base64 of the DER ECDSA signature over every byte above this line>
//
// Each line ends in "\n", in this order, nothing else (scripts/sign-archive makes them). The
// page names what it accepts (the product and the lowest version); the decision is here, so
// that it is the same on every platform and testable without a transfer.

// A product id: 1 to 128 of A-Z a-z 0-9 . _ -, starting with a letter or digit; compared exactly.
bool IsProductId(std::string_view text);

// A version: 1 to 4 numbers of 1 to 9 digits, separated by dots ("2", "2.4.1"). Compared number
// by number, a missing one counting as 0 ("2.4" equals "2.4.0"). nullopt for anything else.
std::optional<std::vector<uint32_t>> ParseVersion(std::string_view text);
// Two parsed versions compared that way: below 0 when `a` is older, 0 when equal, else above.
int CompareVersions(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// What the page accepts; empty members accept any.
struct ReleaseWanted {
  std::string product;
  std::string minVersion;  // valid per ParseVersion when not empty
};

struct ReleaseManifest {
  std::string product;
  std::string version;
  Sha256Digest archiveSha256{};
};

// A signature text as the page or signature_url gives it: a release manifest (it starts with
// its first line) or the base64 of a bare signature.
struct ArchiveSignature {
  std::optional<ReleaseManifest> release;
  std::string signedPart;  // the manifest's signed bytes; empty for a bare signature
  std::vector<uint8_t> der;
};

// nullopt, with the reason in `why`, for a text that is neither (reported as a bad signature).
std::optional<ArchiveSignature> ParseArchiveSignature(std::string_view text, std::string& why);

// The decision on an archive whose SHA-256 is `archiveSha256`: kOk, or one of trust_code's
// failures with its reason in `why`. The signature is checked before anything it names is
// believed; then the archive's digest, the product and the version, in that order. A bare
// signature is accepted only while the page names neither a product nor a lowest version.
HResult CheckArchiveSignature(std::span<const uint8_t> publicKey, const ArchiveSignature& signature,
                              const Sha256Digest& archiveSha256, const ReleaseWanted& wanted,
                              std::string& why);
