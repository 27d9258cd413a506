// OutputFile against real files: an entry that comes twice in an archive is written twice.

#include "install/output_file.h"

#include <gtest/gtest.h>

#include "install/zip_builder.h"
#include "support/test_environment.h"

namespace {

TEST(OutputFileTest, OpeningAnExistingFileEmptiesIt) {
  TemporaryFolder folder;
  const std::filesystem::path path = folder.path() / "twice.txt";
  OutputFile file;
  ASSERT_TRUE(file.Open(path, 0644));
  ASSERT_TRUE(file.Write("the first, longer content", 25));
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(file.Open(path, 0644));
  EXPECT_TRUE(file.isOpen());
  ASSERT_TRUE(file.Write("second", 6));
  ASSERT_TRUE(file.Close());
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(ReadFileBytes(path), "second");
}

}  // namespace
