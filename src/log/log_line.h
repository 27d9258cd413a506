#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text of one log line:
//   "[" timestamp "] [" level "] [" category "] " message [" (" file ":" line ", " function ")"]
// followed by "\n".
//
// Promises: whatever the fields hold, the result is exactly one line whose brackets are the
// logger's own. Every C0 control byte and DEL in category, message, file and function is
// written as an escape ("\n" as the two characters \n, any other as \xNN with upper-case hex
// digits), and "]" in a category as \x5D, so neither the page nor an archive or a server can
// forge a line that looks like the program's own. Other bytes, backslashes and non-ASCII
// included, pass unchanged.

struct LogLineSource {
  std::string_view function;
  std::string_view file;
  int32_t line = 0;
};

std::string FormatLogLine(std::string_view timestamp, std::string_view level,
                          std::string_view category, std::string_view message,
                          const LogLineSource* source);
