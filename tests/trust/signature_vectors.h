#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "trust/archive_signature.h"

// Fixed vectors made once with the openssl command line (tests/support/signing holds the test
// key pair; "openssl dgst -sha256 -sign"), the same on every platform.
namespace signature_vectors {

// The DER SubjectPublicKeyInfo of tests/support/signing/test-archive-key.pub.pem.
inline constexpr char kKey[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEsF/OThiibIzNMX68SqJsbRjRtUKgI3KPhk5oPHNNINMn4NTOBp6EDyRF"
    "dh6llMjXAd6V4I9Op9LjylmR8543Ow==";
// Another P-256 key, whose signatures these are not.
inline constexpr char kOtherKey[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEgfYtq4B8VwYeS4MANJvadHmJzrzPQgJ/8k1SgUFuNw+JO+/xZt4+DacO"
    "QpXaTB6nKR9fXXtTgHBUYwdLwVjg5w==";

// PatternArchive: 2.5 MiB + 13 bytes, so the file is read in three blocks. Its signature has two
// 32-byte integers.
inline constexpr size_t kPatternSize = 2621453;
inline constexpr char kPatternSignature[] =
    "MEQCIDLyryN3uczAjzq6LfVAGrz9OHvifO+LC2fV+f8aXe3IAiB64dGr+ecJ7r5bOC9X8XwkcWno7N4rq45/7nuVHHUF"
    "Fg==";
// The signature of kOtherArchive; both of its integers carry a sign byte (33 bytes of DER).
inline constexpr char kOtherArchive[] = "another archive\n";
inline constexpr char kOtherSignature[] =
    "MEYCIQC+CYqGWnM3HR4KuLX6gacA1FVbb0ZOrO3pX8djmlf61wIhAMP7aluf/KBMeXfs5KmcGlbZtEzz2IFbt5rPsFsI"
    "h41/";

// Release manifests (scripts/sign-archive release) of PatternArchive: com.example.pattern 2.4.1
// and 2.3.9, com.example.other 9.0; and com.example.pattern 3.0 of kOtherArchive.
inline constexpr char kPatternRelease241[] =
    "quillfetch-release 1\nproduct: com.example.pattern\nversion: 2.4.1\n"
    "sha256: 28e1504663c9f556cd046cd7750d5f2aca32086620ae227ee43c420a6405f4aa\n"
    "signature: "
    "MEQCIFmofbfP5EG4U1BZYQiO7XtBzwdtMtL4hJazvWhkjSzVAiAafKNGtVAEJzN2uiOxo/eiC4Z4+sRxgyMOn"
    "tGXNZP6bA==\n";
inline constexpr char kPatternRelease239[] =
    "quillfetch-release 1\nproduct: com.example.pattern\nversion: 2.3.9\n"
    "sha256: 28e1504663c9f556cd046cd7750d5f2aca32086620ae227ee43c420a6405f4aa\n"
    "signature: "
    "MEYCIQDDyL4XInPRy9weup2YLbu750z1L460noAg4tJK+qDi4AIhAPuQlSYy9BTZRvzIf8LnIkkg0abMSauHE"
    "F2fJRRjx3tQ\n";
inline constexpr char kOtherProductRelease[] =
    "quillfetch-release 1\nproduct: com.example.other\nversion: 9.0\n"
    "sha256: 28e1504663c9f556cd046cd7750d5f2aca32086620ae227ee43c420a6405f4aa\n"
    "signature: "
    "MEUCIDTRordu5D+XCW2xodM3+uiyWSkkh3iJewIsj+Ij9Q1LAiEA0PwEeWqGbVGexLnVa1yMxu/VGPorcjfXF"
    "FM3lg4jx90=\n";
inline constexpr char kOtherArchiveRelease[] =
    "quillfetch-release 1\nproduct: com.example.pattern\nversion: 3.0\n"
    "sha256: dbbbcf5e0ef77e03885d7d606eaf3d60cc8949ed10c3fb471cc271599c3a971e\n"
    "signature: "
    "MEQCIAehumu99n+wri+ytqbR2Uv1DgWqPIznZ7V6Aa9cPHUmAiBJZWJI6f4vsYctSlLRNfNWROUfuxR6yrthz"
    "U5LvgSxAw==\n";

inline std::string PatternArchive() {
  std::string bytes(kPatternSize, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((static_cast<uint32_t>(i) * 2654435761u) >> 24);
  }
  return bytes;
}

inline std::vector<uint8_t> Bytes(const char* base64) {
  return DecodeBase64(base64).value_or(std::vector<uint8_t>());
}

inline void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace signature_vectors
