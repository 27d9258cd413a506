#pragma once

#include <cstdint>
#include <string>

// The system's own description of a Win32 error code, for logs and failure reasons of the
// Windows backends in this folder: "Access is denied. (error 5)". UTF-8, one line; "error N"
// alone when the system has no text for the code.
std::string Win32ErrorText(uint32_t code);
