// doUnZip on Linux: file modes and a working folder whose path is not UTF-8. Windows has no
// mode bits, and its paths are UTF-16, which cannot hold such bytes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "install/unzip_test_support.h"
#include "install/zip_builder.h"

namespace fs = std::filesystem;

namespace {

TEST_F(UnZipActionTest, WorkingFolderThatIsNotUtf8ArrivesWithReplacementCharacter) {
  const fs::path odd = h.temp.path() / "tmp\xff";
  fs::create_directories(odd);
  ScopedEnvironmentVariable tmpdir("TMPDIR", odd.string());
  const UnZipRun run = RunUnZip(h, Archive({ZipFile("x.txt", "x")}), "odd");
  EXPECT_EQ(run.completion["result"], 0);
  EXPECT_EQ(run.completion["message"],
            (h.temp.path() / "tmp\xef\xbf\xbd" / run.folder.filename()).string());
  EXPECT_EQ(ReadFileBytes(run.folder / "x.txt"), "x");
}

TEST_F(UnZipActionTest, OnlyExecuteBitsOfTheRecordedModeSurvive) {
  const mode_t saved = umask(022);
  ZipTestEntry dos = ZipFile("dos.exe", "d");
  dos.madeBy = 0;
  dos.externalAttributes = 0x20;
  const UnZipRun run = RunUnZip(
      h, Archive({ZipFile("run.sh", "r", 0100755), ZipFile("suid", "s", 0106755),
                  ZipFile("open", "o", 0100777), ZipFile("sticky", "t", 0101666),
                  ZipFile("private", "p", 0100600), ZipFile("owner-x", "x", 0100744), dos}));
  umask(saved);
  auto mode = [&](const char* name) {
    return static_cast<unsigned>(fs::status(run.folder / name).permissions()) & 07777u;
  };
  EXPECT_EQ(mode("run.sh"), 0755u);
  EXPECT_EQ(mode("suid"), 0755u);
  EXPECT_EQ(mode("open"), 0755u);
  EXPECT_EQ(mode("sticky"), 0644u);
  EXPECT_EQ(mode("private"), 0644u);
  EXPECT_EQ(mode("owner-x"), 0744u);
  EXPECT_EQ(mode("dos.exe"), 0644u);
}

}  // namespace
