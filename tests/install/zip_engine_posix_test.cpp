// ZipEngine on Linux: a write that fails the way a full volume fails it. A file size limit
// (RLIMIT_FSIZE) is the one way to make that happen without a volume of the test's own; Windows
// has no such limit.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "install/zip_builder.h"
#include "install/zip_engine_fixture.h"

namespace {

TEST_F(ZipEngineTest, WriteFailureOfAFullDiskFailsTheEntry) {
  WriteZip(archive, {ZipFile("small.txt", "ok"), ZipFile("big.bin", std::string(1 << 20, 'z'))});
  // A file size limit fails writes with EFBIG the way a full volume fails them with ENOSPC.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = 300000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  Run(archive, dest);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.back().result, 1632u);
  EXPECT_EQ(g_progress.back().message, "Failed to create big.bin");
  EXPECT_EQ(Completion().result, 1632u);
  EXPECT_EQ(Completion().message, "Files not prepared");
}

}  // namespace
