#include <gtest/gtest.h>

#include "base/working_folder.h"
#include "support/test_environment.h"

TEST(WorkingFolderTest, TempDirectoryFollowsTmpdir) {
  {
    ScopedEnvironmentVariable tmpdir("TMPDIR", "/var/tmp/somewhere");
    EXPECT_EQ(TempDirectory(), "/var/tmp/somewhere");
    EXPECT_EQ(NewWorkingFolderPath().parent_path(), "/var/tmp/somewhere");
  }
  {
    ScopedEnvironmentVariable tmpdir("TMPDIR", "");
    EXPECT_EQ(TempDirectory(), "/tmp");
  }
  {
    ScopedEnvironmentVariable tmpdir("TMPDIR", std::nullopt);
    EXPECT_EQ(TempDirectory(), "/tmp");
  }
}
