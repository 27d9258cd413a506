#include "download/transfer_error_text_bits.h"

#include <windows.h>

#include "base/utf_convert.h"
#include "download/network_error_text.h"

namespace {

constexpr uint32_t kHttpFacility = 0x8019u;
constexpr uint32_t kWin32Facility = 0x8007u;
constexpr uint32_t kFirstWinHttpError = 12000;
constexpr uint32_t kLastWinHttpError = 12999;

std::optional<std::string> SystemText(uint32_t error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return std::nullopt;
  std::u16string wide(reinterpret_cast<const char16_t*>(text), length);
  LocalFree(text);
  // The system's texts end with a line break, which has no place inside the page's message.
  while (!wide.empty() && (wide.back() == u'\r' || wide.back() == u'\n' || wide.back() == u' ')) {
    wide.pop_back();
  }
  if (wide.empty()) return std::nullopt;
  return Utf16ToUtf8(wide);
}

}  // namespace

std::optional<std::string> DescribeTransferError(HResult code) {
  const uint32_t facility = static_cast<uint32_t>(code) >> 16;
  const uint32_t number = LowWord(code);
  if (facility == kHttpFacility) {
    return "The server answered with HTTP status " + std::to_string(number) + ".";
  }
  if (facility != kWin32Facility) return std::nullopt;
  if (number >= kFirstWinHttpError && number <= kLastWinHttpError) {
    return DescribeNetworkError(number);
  }
  return SystemText(number);
}
