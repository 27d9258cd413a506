#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// SHA-256 (FIPS 180-4) of `bytes`. nullopt when the platform's hashing service fails; the
// caller reports an empty identifier then rather than a made-up one.
std::optional<std::array<uint8_t, 32>> Sha256(std::string_view bytes);
