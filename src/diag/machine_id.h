#pragma once

#include <string>
#include <string_view>

// The machine identifier the page receives: a GUID text from the platform, normalised, and
// the SHA-256 digest of that normalised text.

// `raw` without white space (space, \t, \n, \v, \f, \r) and with A-Z lowered; other bytes stay.
std::string NormalizeMachineGuid(std::string_view raw);

// 64 lower-case hexadecimal digits of SHA-256(`guid`). Empty when `guid` is empty (the digest
// of nothing would give every machine without a GUID the same identifier) or hashing fails.
std::string MachineIdFromGuid(std::string_view guid);
