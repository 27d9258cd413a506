#pragma once

#include <string>
#include <string_view>

// Windows passes a program one command line, which the program's C runtime (or
// CommandLineToArgvW) splits back into arguments. The line is the program's path in double quotes
// (the first word is read up to the next quote, without backslash rules, and a Windows path holds
// no quote), then each argument quoted as below, after one space: the split then gives exactly
// the arguments meant, spaces, quotes and backslashes included.
//
// Text is UTF-8 here; every character the rules treat specially is ASCII, so the line converts to
// UTF-16 unchanged in meaning.

// One argument as the split reads it back: unchanged when it holds no space, tab, line break or
// double quote and is not empty; otherwise in double quotes, each quote preceded by a backslash
// and the backslashes before a quote (or before the closing quote) doubled. A backslash anywhere
// else stays single: C:\Program Files\ becomes "C:\Program Files\\" and a"b becomes "a\"b".
std::string QuoteWindowsArgument(std::string_view argument);
