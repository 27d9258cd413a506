// The log file where the program runs elevated (its folder: tests/base). Wine shows a second
// hard link through the handle as Windows does, but a symbolic link to a file it shows nowhere
// (neither by handle nor by name): that a planted file link is refused is Windows' part.

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "log/log_file.h"
#include "log/logger_test_support.h"

namespace logger_test {
namespace {

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(LoggerTest, AnExistingLogFileIsAppendedToOnlyWhenItHasNoOtherName) {
  const fs::path plain = temp_.path() / "plain.log";
  std::ofstream(plain, std::ios::binary) << "before\r\n";
  LogFile file;
  ASSERT_TRUE(file.Open(PathToUtf8(plain)));
  file.Append("after\n");
  file.Close();
  EXPECT_EQ(Contents(plain), "before\r\nafter\r\n");

  // A name planted ahead of the next file, pointing at a file the user wants changed.
  const fs::path victim = temp_.path() / "victim.txt";
  std::ofstream(victim, std::ios::binary) << "keep";
  const fs::path planted = temp_.path() / "planted.log";
  ASSERT_TRUE(CreateHardLinkW(planted.c_str(), victim.c_str(), nullptr));
  EXPECT_FALSE(file.Open(PathToUtf8(planted)));
  file.Append("written through\n");
  file.Close();
  EXPECT_EQ(Contents(victim), "keep");
}

}  // namespace
}  // namespace logger_test
