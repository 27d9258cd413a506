// Quoting of one argument for a Windows command line, checked against the C runtime's own
// splitting rules (written out below as the runtime documents them) rather than against the
// quoted text, so that any quoting that splits back right passes.

#include "install/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The words after the program's name, split as the C runtime (and CommandLineToArgvW) split
// them: 2n backslashes before a quote give n and the quote opens or closes a quoted part, 2n+1
// give n and a literal quote, backslashes before anything else stay as they are; outside quotes
// spaces and tabs end a word.
std::vector<std::string> SplitLikeTheCRuntime(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) return words;
    std::string word;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        word.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          word += '"';
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        word.append(backslashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) word += line[i++];
      }
    }
    words.push_back(word);
  }
}

TEST(QuoteWindowsArgumentTest, EveryWordSplitsBackToItself) {
  const std::vector<std::string> words = {
      "/quiet",
      "",
      "two words",
      "INSTALLDIR=C:\\Program Files\\Vendor\\",  // a trailing backslash before the closing quote
      "C:\\Program Files\\",
      "\\\\server\\share\\",
      "say \"hi\"",
      "\"",
      "\\\"",
      "a\\\\\"b",
      "tab\there",
      "line\nbreak",
      "\\",
      "back\\slash",
      "ends\\\\",
      "caf\xc3\xa9 \xe9\x9b\xaa",
  };
  std::string line;
  for (const std::string& word : words) line += " " + QuoteWindowsArgument(word);
  EXPECT_EQ(SplitLikeTheCRuntime(line), words) << line;
}

TEST(QuoteWindowsArgumentTest, PlainWordsStayAsTheyAre) {
  // A setup that reads its raw command line (as msiexec does) sees the word it was given.
  for (const std::string word : {"/qn", "/l*v", "REBOOT=ReallySuppress", "C:\\dir\\file.log"}) {
    EXPECT_EQ(QuoteWindowsArgument(word), word);
  }
}

}  // namespace
