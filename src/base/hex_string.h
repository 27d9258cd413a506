#pragma once

#include <cstdint>
#include <string>

// "0x" followed by the upper-case hexadecimal digits of `value`, without leading zeros
// (0 gives "0x0"). Used for platform error codes in messages and log lines.
std::string ToHexString(uint32_t value);
