#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4) as 64 lower-case hexadecimal digits.

// Of `bytes`. nullopt when the hashing service fails: callers then report nothing rather than
// a made-up digest.
std::optional<std::string> Sha256Hex(std::string_view bytes);

// Of a file's bytes, read in blocks. nullopt when the file cannot be read.
std::optional<std::string> Sha256HexOfFile(const std::filesystem::path& file);
