#include "log/log_line.h"

namespace {

bool NeedsEscape(unsigned char c, bool inCategory) {
  return c < 0x20 || c == 0x7F || (inCategory && c == ']');
}

void AppendEscaped(std::string& line, std::string_view field, bool inCategory) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::size_t plainFrom = 0;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto c = static_cast<unsigned char>(field[i]);
    if (!NeedsEscape(c, inCategory)) continue;
    line.append(field.substr(plainFrom, i - plainFrom));
    if (c == '\n') {
      line += "\\n";
    } else {
      line += "\\x";
      line += kHexDigits[c >> 4];
      line += kHexDigits[c & 0x0F];
    }
    plainFrom = i + 1;
  }
  line.append(field.substr(plainFrom));
}

}  // namespace

std::string FormatLogLine(std::string_view timestamp, std::string_view level,
                          std::string_view category, std::string_view message,
                          const LogLineSource* source) {
  std::string line;
  line.reserve(timestamp.size() + level.size() + category.size() + message.size() + 24);
  line += '[';
  line += timestamp;
  line += "] [";
  line += level;
  line += "] [";
  AppendEscaped(line, category, true);
  line += "] ";
  AppendEscaped(line, message, false);
  if (source != nullptr) {
    line += " (";
    AppendEscaped(line, source->file, false);
    line += ':';
    line += std::to_string(source->line);
    line += ", ";
    AppendEscaped(line, source->function, false);
    line += ')';
  }
  line += '\n';
  return line;
}
