// The clean-up runs elevated on Windows: a link planted in a working folder must not lead it
// into the folder the link names. Wine makes no junctions: a Unix link stands in, which Wine
// shows as a reparse point only in the listing; Wine cannot remove such a link either, so the
// removal of the link itself (which Windows does, by handle) is not shown here.

#include "bridge/clean_up_test.h"
#include "support/unix_link_win.h"

namespace {

TEST_F(CleanUpTest, ALinkInAWorkingFolderIsNotFollowed) {
  const std::string outside = MakeTree("outside");
  const std::string root = MakeTree("{LINKED}");
  UnixLink link(PathFromUtf8(outside), fs::path(PathFromUtf8(root)) / "a" / "planted");
  ASSERT_TRUE(link.made());
  h.host->WorkingFolders() = {root};

  CleanUpAndWait("w1");
  EXPECT_TRUE(fs::exists(PathFromUtf8(outside) / "a" / "b" / "file.bin"));
  EXPECT_TRUE(fs::exists(PathFromUtf8(outside) / "top.txt"));
  EXPECT_FALSE(fs::exists(PathFromUtf8(root) / "top.txt"));
  EXPECT_FALSE(fs::exists(PathFromUtf8(root) / "a" / "b"));
}

}  // namespace
