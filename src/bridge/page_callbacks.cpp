#include "bridge/page_callbacks.h"

#include <cstring>

std::string FormatScript(const char* scriptTemplate, const std::string& argument) {
  const char* hole = std::strstr(scriptTemplate, "{}");
  if (hole == nullptr) return scriptTemplate;
  std::string script(scriptTemplate, hole);
  script += argument;
  script += hole + 2;
  return script;
}
