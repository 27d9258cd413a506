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

  // The page reads how much to free, and where, from the message.
  void ExpectTheSpaceText(const std::string& message) const {
    const std::string needed = "Not enough disk space to download: 1048576 bytes needed, ";
    const std::string where = " bytes available in " + Destination().parent_path().generic_string();
    EXPECT_EQ(message.rfind(needed, 0), 0u) << message;
    ASSERT_GT(message.size(), needed.size() + where.size()) << message;
    EXPECT_EQ(message.substr(message.size() - where.size()), where);
    const uint64_t available = std::stoull(message.substr(needed.size()));
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, 256u * 1024);
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
  ExpectTheSpaceText(done.message);
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(DiskFullTest, TheJobGivesUpWithItsError) {
  if (!FillTheDisk()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
  FaultHttpServer server({"--body-file", bodyFile.string()});
  const CallbackPayload done = Download(server.Url("/files/archive.zip"));
  EXPECT_EQ(done.result, 112u);
  ExpectTheSpaceText(done.message);
  EXPECT_FALSE(fs::exists(Destination().string() + ".partial"));
}

}  // namespace
