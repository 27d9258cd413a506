#include <stdlib.h>
#include <windows.h>

#include "base/utf_convert.h"
#include "support/test_environment.h"

const char* const kTempDirectoryVariable = "TMP";

void SetProcessEnvironmentVariable(const std::string& name,
                                   const std::optional<std::string>& value) {
  const std::u16string wideName = Utf8ToUtf16(name);
  const auto* n = reinterpret_cast<const wchar_t*>(wideName.c_str());
  // Both copies: the C runtime's (getenv) first, then the process environment that the
  // program's own reads use (GetEnvironmentVariableW), which alone can hold an empty value.
  if (value) {
    const std::u16string wideValue = Utf8ToUtf16(*value);
    const auto* v = reinterpret_cast<const wchar_t*>(wideValue.c_str());
    _wputenv_s(n, v);
    SetEnvironmentVariableW(n, v);
  } else {
    _wputenv_s(n, L"");
    SetEnvironmentVariableW(n, nullptr);
  }
}
