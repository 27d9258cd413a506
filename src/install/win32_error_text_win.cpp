#include <windows.h>

#include "base/utf_convert.h"
#include "install/win32_error_text.h"

std::string Win32ErrorText(uint32_t code) {
  const std::string number = "error " + std::to_string(code);
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr) {
    text = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer), length));
  }
  LocalFree(buffer);
  // The system's texts end with a line break; some hold one inside as well.
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? number : text + " (" + number + ")";
}
