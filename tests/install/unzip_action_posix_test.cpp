// doUnZip on Linux: file modes, a working folder whose path is not UTF-8, symbolic links, and
// working folders that stay the user's own whatever the umask.
// Windows has no mode bits, its paths are UTF-16, which cannot hold such bytes, and it refuses
// link entries.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "install/unzip_test_support.h"
#include "install/zip_builder.h"
#include "support/fault_http_server.h"

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

TEST_F(UnZipActionTest, DownloadAndExtractionFoldersAreTheUsersAloneWhateverTheUmask) {
  // Under umask 000 another local user could otherwise swap the archive between its check and
  // its extraction, or the setup between extraction and launch.
  struct UmaskGuard {
    mode_t old = ::umask(0);
    ~UmaskGuard() { ::umask(old); }
  } openUmask;
  const auto mode = [](const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000u;
  };
  const fs::path served = Archive({ZipFile("bin/setup.sh", "#!/bin/sh\n")}, "served.zip");
  FaultHttpServer server({"--body-file", served.string()});
  // The background job, then the direct transfer of a pre-signed URL.
  for (const std::string target : {"/a.zip", "/b.s3.amazonaws.com/a.zip?X-Amz-Signature=s"}) {
    SCOPED_TRACE(target);
    const std::string id = "d" + std::to_string(target.size());
    h.Post(nlohmann::json({{"action", "doDownload"},
                           {"callbackId", id},
                           {"fetchDownloadConfig",
                            {{"url", server.Url(target)}, {"archive_name", "archive.zip"}}}})
               .dump());
    nlohmann::json done;
    ASSERT_TRUE(h.PumpUntil(
        [&] {
          for (const PageCallback& c : h.Completions()) {
            if (c.payload["cbid"] == id) done = c.payload;
          }
          return !done.is_null();
        },
        60000));
    ASSERT_EQ(done["result"], 0) << done;
    const fs::path archive =
        nlohmann::json::parse(done["message"].get<std::string>())["des"].get<std::string>();
    EXPECT_EQ(mode(archive.parent_path()), 0700u);
    EXPECT_EQ(mode(archive), 0600u);

    const UnZipRun run = RunUnZip(h, archive, "u" + id);
    ASSERT_EQ(run.completion["result"], 0);
    EXPECT_EQ(mode(run.folder), 0700u);
  }
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

TEST_F(UnZipActionTest, LibraryLinksAreMadeWhateverTheirOrder) {
  // The tool's link comes before what it names; links are made once the files are there.
  const UnZipRun run = RunUnZip(
      h, Archive(
             {ZipSymlink("bin/tool", "../lib/libx.so"), ZipFile("lib/libx.so.1.2", "ELF", 0100755),
              ZipSymlink("lib/libx.so", "libx.so.1"), ZipSymlink("lib/libx.so.1", "libx.so.1.2")}));
  EXPECT_EQ(run.completion["result"], 0);
  EXPECT_EQ(fs::read_symlink(run.folder / "bin/tool"), "../lib/libx.so");
  EXPECT_EQ(fs::read_symlink(run.folder / "lib/libx.so"), "libx.so.1");
  EXPECT_EQ(ReadFileBytes(run.folder / "bin/tool"), "ELF");
}

TEST_F(UnZipActionTest, LinksThatCouldLeadOutsideAreRefused) {
  struct Case {
    std::vector<ZipTestEntry> entries;
    std::string refused;  // the one entry that fails
  };
  const std::vector<Case> cases = {
      {{ZipSymlink("up", "..")}, "up"},
      {{ZipSymlink("abs", "/etc")}, "abs"},
      // ".." after a link climbs from where the link points.
      {{ZipSymlink("d/up", ".."), ZipSymlink("x", "d/up/..")}, "x"},
      // Through a name that a later link could turn into the folder itself.
      {{ZipSymlink("l1", "p/.."), ZipSymlink("p", ".")}, "l1"},
      // A link inside a link.
      {{ZipDirectory("sub/"), ZipSymlink("d2", "sub"), ZipSymlink("d2/y", "z")}, "d2/y"},
      // A file through a link: it lands in a real folder, and the link is refused.
      {{ZipSymlink("lib", "real"), ZipDirectory("real/"), ZipFile("lib/x", "x")}, "lib"},
      // A link where a file was.
      {{ZipFile("a", "text"), ZipSymlink("./a", "b")}, "./a"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    const std::string cbid = "l" + std::to_string(n++);
    const UnZipRun run = RunUnZip(h, Archive(c.entries), cbid);
    size_t refusals = 0;
    for (const nlohmann::json& p : run.progress) {
      refusals += p["message"] == "Failed to create " + c.refused && p["result"] == 1632;
    }
    EXPECT_EQ(refusals, 1u);
    EXPECT_EQ(run.completion["message"], "Files not prepared");
    EXPECT_FALSE(fs::is_symlink(run.folder / c.refused));
    EXPECT_FALSE(fs::exists(run.folder / "real/x"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(run.folder / "sub/y")));
  }
  // Every link that was made resolves inside its own extraction folder.
  const fs::path base = fs::canonical(h.temp.path());
  for (const auto& item : fs::recursive_directory_iterator(h.temp.path())) {
    if (!item.is_symlink()) continue;
    const fs::path folder = base / *item.path().lexically_relative(h.temp.path()).begin();
    const fs::path inside = fs::weakly_canonical(item.path()).lexically_relative(folder);
    EXPECT_TRUE(!inside.empty() && *inside.begin() != "..") << item.path();
  }
}

}  // namespace
