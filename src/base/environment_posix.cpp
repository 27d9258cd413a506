#include <cstdlib>

#include "base/environment.h"
#include "base/utf_convert.h"

std::optional<std::string> ReadEnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> ReadBoundedEnvironmentVariable(const char* name, size_t bufferUnits) {
  std::optional<std::string> value = ReadEnvironmentVariable(name);
  if (!value || value->empty()) return std::nullopt;
  if (Utf8ToUtf16(*value).size() + 1 > bufferUnits) return std::nullopt;
  return value;
}
