#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The variable's value as stored (UTF-8 on Linux), or nullopt when it is not set.
std::optional<std::string> ReadEnvironmentVariable(const char* name);

// Mirrors a read into a fixed buffer of `bufferUnits` UTF-16 units, terminator included:
// the value when it is set, non-empty and at most `bufferUnits - 1` units long; nullopt
// otherwise (a value that does not fit counts as not set).
std::optional<std::string> ReadBoundedEnvironmentVariable(const char* name, size_t bufferUnits);

// Removes from this process's environment every variable whose name starts with `prefix`
// (ASCII letters in any case, as Windows compares names), so that nothing this process loads or
// starts later sees them. Returns the names removed, as they were spelled.
std::vector<std::string> RemoveEnvironmentVariablesStartingWith(std::string_view prefix);
