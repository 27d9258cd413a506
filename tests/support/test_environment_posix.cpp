#include <stdlib.h>

#include "support/test_environment.h"

const char* const kTempDirectoryVariable = "TMPDIR";

void SetProcessEnvironmentVariable(const std::string& name,
                                   const std::optional<std::string>& value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}
