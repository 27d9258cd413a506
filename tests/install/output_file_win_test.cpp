// OutputFile on Windows: what a path can name besides a plain file in the extraction folder.

#include <gtest/gtest.h>
#include <windows.h>

#include "base/utf8_path.h"
#include "install/output_file.h"
#include "install/zip_builder.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

TEST(OutputFileWinTest, ReservedDeviceNamesNeverSwallowAnEntry) {
  // "C:\...\NUL" opens the null device in any folder ("nul.txt" too, before Windows 11): an
  // entry is either refused or lands in a real file with its content. (Names of serial and
  // printer ports would be refused the same way, but a test cannot safely read one back.)
  TemporaryFolder folder;
  for (const char* name : {"NUL", "nul.txt"}) {
    SCOPED_TRACE(name);
    const fs::path path = folder.path() / name;
    OutputFile file;
    if (!file.Open(path, 0644)) {
      EXPECT_FALSE(file.error().empty());
      continue;
    }
    EXPECT_TRUE(file.Write("entry", 5));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(ReadFileBytes(path), "entry");
  }
}

TEST(OutputFileWinTest, LinkAtThePathIsNeitherFollowedNorReplaced) {
  TemporaryFolder folder;
  const fs::path target = folder.path() / "outside.txt";
  const fs::path link = folder.path() / "entry.txt";
  const fs::path dangling = folder.path() / "dangling.txt";
  WriteFileBytes(target, "untouched");
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  CreateSymbolicLinkW(link.c_str(), target.c_str(), flags);
  CreateSymbolicLinkW(dangling.c_str(), (folder.path() / "created.txt").c_str(), flags);
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    // Wine 8's CreateSymbolicLinkW does nothing and reports success; Windows without developer
    // mode or elevation refuses.
    GTEST_SKIP() << "symbolic links cannot be made here";
  }
  for (const fs::path& path : {link, dangling}) {
    OutputFile file;
    EXPECT_FALSE(file.Open(path, 0644)) << PathToUtf8(path);
    EXPECT_EQ(file.error(), "a link (reparse point) is in the way");
  }
  EXPECT_EQ(ReadFileBytes(target), "untouched");
  EXPECT_FALSE(fs::exists(folder.path() / "created.txt"));
}

}  // namespace
