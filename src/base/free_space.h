#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// Bytes that an unprivileged writer can still put on the volume holding `path`. The path need
// not exist yet: its nearest existing ancestor decides the volume. nullopt when no ancestor
// can be examined.
std::optional<uint64_t> AvailableSpace(const std::filesystem::path& path);
