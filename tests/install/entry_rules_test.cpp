#include "install/entry_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(EntryRulesTest, NamesStayInsideTheFolder) {
  const std::filesystem::path folder = "/x/out";
  for (const char* name : {"..", "../a", "a/..", "a/../../b", "a\\..\\b", "/a", "\\a", "//h/s",
                           "\\\\h\\s\\a", "C:a", "z:\\a", "a/b/../../..", ""}) {
    EXPECT_FALSE(EntryTargetPath(folder, name).has_value()) << name;
  }
  EXPECT_EQ(EntryTargetPath(folder, "a\\b\\c.txt"), std::filesystem::path("/x/out/a/b/c.txt"));
  EXPECT_EQ(EntryTargetPath(folder, "..a/b..c/..."), std::filesystem::path("/x/out/..a/b..c/..."));
  EXPECT_EQ(EntryTargetPath(folder, "a/c:d"), std::filesystem::path("/x/out/a/c:d"));
  EXPECT_EQ(EntryTargetPath(folder, "dir/"), std::filesystem::path("/x/out/dir/"));
}

}  // namespace
