#pragma once

// The developer switch: true when VLM_IS_DEV or else VELMORANTE_DEBUG enables. A variable
// enables when its value is 1 to 31 characters long and starts with "1" or equals "true" in
// any letter case. Read afresh on every call. Always false while the process is elevated
// (base/elevation.h): the Logger then says the switches are ignored.
bool IsDevEnvironment();

// The rule for one variable, exposed for tests.
bool DevVariableEnables(const char* name);
