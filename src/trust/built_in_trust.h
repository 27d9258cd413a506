#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// What the vendor built into the program (cmake/ArchiveTrust.cmake), fixed for its lifetime.
//
// BuiltInArchiveKey: the DER SubjectPublicKeyInfo of the ECDSA P-256 key that every archive
// (or its release manifest) and the page's folder (app/ui_manifest.h) must be signed with;
// empty when none was built in, and then nothing is verified.
// BuiltInSetupPublisher: the signer name the setup program's Authenticode signature must carry
// (Windows); empty when not asked for.
//
// BuiltInUiProduct, BuiltInMinUiVersion: with a key, the product the signed page must name and
// the lowest page version shown (app/ui_manifest.h); empty when not asked for.
//
// All come from one generated library per program, so a test program can carry its own key.
std::span<const uint8_t> BuiltInArchiveKey();
std::string_view BuiltInSetupPublisher();
std::string_view BuiltInUiProduct();
std::string_view BuiltInMinUiVersion();
