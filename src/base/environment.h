#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The variable's value as stored (UTF-8 on Linux), or nullopt when it is not set.
std::optional<std::string> ReadEnvironmentVariable(const char* name);

// Mirrors a read into a fixed buffer of `bufferUnits` UTF-16 units, terminator included:
// the value when it is set, non-empty and at most `bufferUnits - 1` units long; nullopt
// otherwise (a value that does not fit counts as not set).
std::optional<std::string> ReadBoundedEnvironmentVariable(const char* name, size_t bufferUnits);
