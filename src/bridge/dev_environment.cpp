#include "bridge/dev_environment.h"

#include <string>

#include "base/environment.h"

namespace {

constexpr size_t kBufferUnits = 32;

bool EqualsIgnoringAsciiCase(const std::string& text, const char* expected) {
  size_t i = 0;
  for (; i < text.size() && expected[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != expected[i]) return false;
  }
  return i == text.size() && expected[i] == '\0';
}

}  // namespace

bool DevVariableEnables(const char* name) {
  const std::optional<std::string> value = ReadBoundedEnvironmentVariable(name, kBufferUnits);
  if (!value) return false;
  return value->front() == '1' || EqualsIgnoringAsciiCase(*value, "true");
}

bool IsDevEnvironment() {
  return DevVariableEnables("VLM_IS_DEV") || DevVariableEnables("VELMORANTE_DEBUG");
}
