#include <gtest/gtest.h>

#include "base/utf8_path.h"
#include "base/working_folder.h"
#include "support/test_environment.h"

// The temporary folder comes from the wide call: a user name outside the ANSI code page (here
// Polish and Greek letters) must give the real folder, not one with '?' in its name.
TEST(WorkingFolderTest, TempDirectoryIsReadAsUtf16) {
  ScopedElevation notElevated(false);  // elevated, the working root is not the user's
  const std::string folder = "C:\\users\\\xC5\xBB\x6F\x66\x69\x61 \xCE\xB1\xCE\xB2\\Temp";
  ScopedEnvironmentVariable tmp(kTempDirectoryVariable, folder);
  EXPECT_EQ(PathToUtf8(TempDirectory()), folder + "\\");
  EXPECT_EQ(PathToUtf8(NewWorkingFolderPath().parent_path()), folder);
}
