#include "bridge/dev_environment.h"

#include <string>

#include "base/ascii.h"
#include "base/elevation.h"
#include "base/environment.h"

namespace {

constexpr size_t kBufferUnits = 32;

}  // namespace

bool DevVariableEnables(const char* name) {
  const std::optional<std::string> value = ReadBoundedEnvironmentVariable(name, kBufferUnits);
  if (!value) return false;
  return value->front() == '1' || EqualsIgnoringAsciiCase(*value, "true");
}

bool IsDevEnvironment() {
  // Elevated, the environment is partly the user's: developer tools on an elevated page would
  // hand the user a console of the elevated program.
  if (ProcessIsElevated()) return false;
  return DevVariableEnables("VLM_IS_DEV") || DevVariableEnables("VELMORANTE_DEBUG");
}
