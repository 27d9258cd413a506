// Clean-up cases that need POSIX: symbolic links (mingw's library cannot make them) and a name
// too long to examine (Windows reports it as missing, which needs no warning).

#include "bridge/clean_up_test.h"

namespace {

TEST_F(CleanUpTest, LeavesFilesAndSymlinksAlone) {
  const std::string file = (h.temp.path() / "became-a-file").generic_string();
  std::ofstream(file) << "keep me";
  const std::string target = MakeTree("outside");
  const std::string link = (h.temp.path() / "link-to-outside").generic_string();
  fs::create_directory_symlink(target, link);
  h.host->WorkingFolders() = {file, link};

  EXPECT_EQ(CleanUpAndWait("c3"), nlohmann::json({file, link}));
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::exists(fs::path(target) / "a" / "b" / "file.bin"));
}

TEST_F(CleanUpTest, APathThatCannotBeExaminedIsSkippedAndTheWalkGoesOn) {
  const std::string unexaminable = (h.temp.path() / std::string(300, 'n')).generic_string();
  const std::string after = MakeTree("{AFTER}");
  h.host->WorkingFolders() = {unexaminable, after};
  EXPECT_EQ(CleanUpAndWait("c5"), nlohmann::json({unexaminable, after}));
  EXPECT_FALSE(fs::exists(after));
  EXPECT_EQ(EntriesAt("WARN", "Clean-up skipped").size(), 1u);
}

}  // namespace
