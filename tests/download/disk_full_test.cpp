// Linux only: the full disk is a small tmpfs that the test mounts, which a Windows test under
// Wine cannot do.
#include <gtest/gtest.h>

#include "download/small_disk_posix.h"
#include "download/transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

class DiskFullTest : public TransferFixture {
 protected:
  // 256 KiB of disk for a 1 MiB body; false (the test skips) where mounting is not allowed.
  bool FillTheDisk() {
    destFolder = disk.path();
    bodyFile = MakeBody(1 << 20);
    return disk.mounted();
  }

  SmallDisk disk{folder.path() / "small-disk", 256 * 1024};
  fs::path bodyFile;
};

TEST_F(DiskFullTest, TheDirectTransferFailsWithItsErrorAndRemovesThePartialFile) {
  if (!FillTheDisk()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
  FaultHttpServer server({"--body-file", bodyFile.string()});
  const CallbackPayload done =
      Download(server.Url("/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256"));
  EXPECT_EQ(done.result, 112u);
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(DiskFullTest, TheJobGivesUpWithItsError) {
  if (!FillTheDisk()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
  FaultHttpServer server({"--body-file", bodyFile.string()});
  const CallbackPayload done = Download(server.Url("/files/archive.zip"));
  EXPECT_EQ(done.result, 112u);
  EXPECT_EQ(done.message, "There is not enough space on the disk.");
  EXPECT_FALSE(fs::exists(Destination().string() + ".partial"));
}

}  // namespace
