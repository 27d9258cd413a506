#include "log/bounded_text.h"

namespace {

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string CutToLimit(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t kept = limit;
  // A sequence has at most three continuation bytes: never walk back further (text that is not
  // UTF-8 is cut where the limit falls).
  for (std::size_t back = 0; back < 3 && kept > 0 && IsUtf8Continuation(text[kept]); ++back) {
    --kept;
  }
  if (kept > 0 && IsUtf8Continuation(text[kept])) kept = limit;
  std::string cut(text.substr(0, kept));
  cut += " [... ";
  cut += std::to_string(text.size() - kept);
  cut += " bytes cut]";
  return cut;
}
