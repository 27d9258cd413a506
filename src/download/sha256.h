#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Lower-case hexadecimal SHA-256 of a file's bytes, read in blocks; nullopt when the file
// cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& file);
