#include <unistd.h>

#include <cstdlib>

#include "base/ascii.h"
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

std::vector<std::string> RemoveEnvironmentVariablesStartingWith(std::string_view prefix) {
  std::vector<std::string> names;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = text.substr(0, equals);
    if (StartsWithIgnoringAsciiCase(name, prefix)) names.emplace_back(name);
  }
  for (const std::string& name : names) unsetenv(name.c_str());
  return names;
}
