// doUnZip through the host as the page drives it, on archives built by the tests.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/native_window.h"
#include "base/utf8_path.h"
#include "install/unzip_test_support.h"
#include "install/zip_builder.h"
#include "install/zip_engine.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRoute[] = "onUnZipProgress";

std::string Pattern(size_t size, unsigned seed) {
  std::string data(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>('a' + (x >> 16) % 7);  // compressible, not trivially
  }
  return data;
}

ZipTestEntry Stored(ZipTestEntry e) {
  e.method = 0;
  return e;
}

TEST_F(UnZipActionTest, ExtractsNestedTreeWithThrottledProgressAndDeletesArchive) {
  const std::string big = Pattern(100000, 1);
  const std::string raw = Pattern(70000, 2);
  ZipTestEntry windowsName = ZipFile("a\\win\\path.txt", "x");
  windowsName.madeBy = 0;
  windowsName.externalAttributes = 0x20;
  const fs::path archive =
      Archive({ZipFile("top.txt", "hello"), ZipFile("a/b/c.txt", big),
               Stored(ZipFile("a/raw.bin", raw)), ZipDirectory("empty/dir/"), windowsName});
  const uint64_t total = 5 + 100000 + 70000 + 1;

  const UnZipRun run = RunUnZip(h, archive);

  // The working folder: a fresh GUID folder under TMPDIR, recorded for clean-up.
  EXPECT_EQ(run.folder.parent_path(), h.temp.path());
  EXPECT_EQ(run.folder.filename().string().size(), 38u);
  ASSERT_EQ(h.host->WorkingFolders().size(), 2u);  // the download's, then this one
  EXPECT_EQ(h.host->WorkingFolders()[1], run.folder.generic_string());

  EXPECT_EQ(ReadFileBytes(run.folder / "top.txt"), "hello");
  EXPECT_EQ(ReadFileBytes(run.folder / "a/b/c.txt"), big);
  EXPECT_EQ(ReadFileBytes(run.folder / "a/raw.bin"), raw);
  EXPECT_EQ(ReadFileBytes(run.folder / "a/win/path.txt"), "x");
  EXPECT_TRUE(fs::is_directory(run.folder / "empty/dir"));
  EXPECT_FALSE(fs::exists(archive));

  // First chunk, then steps of at least 1% of the total, each naming its entry.
  ASSERT_FALSE(run.progress.empty());
  EXPECT_EQ(run.progress[0], Payload("u1", 5, kRoute, "top.txt", 0, total));
  uint64_t last = 5;
  for (size_t i = 1; i < run.progress.size(); ++i) {
    const uint64_t done = run.progress[i]["done"];
    EXPECT_GE((done - last) * 100 / total, 1u) << i;
    EXPECT_EQ(run.progress[i]["todo"], total);
    EXPECT_EQ(run.progress[i]["result"], 0);
    const std::string entry = run.progress[i]["message"];
    EXPECT_TRUE(entry == "a/b/c.txt" || entry == "a/raw.bin" || entry == "a\\win\\path.txt")
        << entry;
    last = done;
  }
  EXPECT_EQ(run.completion, Payload("u1", last, kRoute, NativePathToUtf8(run.folder), 0, total));
  EXPECT_FALSE(h.host->ZipWorker()->running.load());
}

TEST_F(UnZipActionTest, EmptyArchiveAndEmptyFilesCompleteWithoutProgress) {
  const UnZipRun empty = RunUnZip(h, Archive({}), "e1");
  EXPECT_TRUE(empty.progress.empty());
  EXPECT_EQ(empty.completion, Payload("e1", 0, kRoute, NativePathToUtf8(empty.folder), 0, 0));
  EXPECT_FALSE(fs::exists(empty.folder));  // nothing to put in it

  const UnZipRun zeros =
      RunUnZip(h, Archive({ZipFile("a.txt", ""), Stored(ZipFile("d/b.txt", ""))}), "e2");
  EXPECT_TRUE(zeros.progress.empty());
  EXPECT_EQ(zeros.completion, Payload("e2", 0, kRoute, NativePathToUtf8(zeros.folder), 0, 0));
  EXPECT_EQ(fs::file_size(zeros.folder / "a.txt"), 0u);
  EXPECT_EQ(fs::file_size(zeros.folder / "d/b.txt"), 0u);
  EXPECT_NE(empty.folder, zeros.folder);
}

TEST_F(UnZipActionTest, TenThousandEntriesWithAtMostAHundredOrSoReports) {
  std::vector<ZipTestEntry> entries;
  uint64_t total = 0;
  for (int i = 0; i < 10000; ++i) {
    std::string text = "entry " + std::to_string(i);
    total += text.size();
    entries.push_back(
        Stored(ZipFile("d" + std::to_string(i % 100) + "/f" + std::to_string(i), std::move(text))));
  }
  const UnZipRun run = RunUnZip(h, Archive(entries));
  EXPECT_EQ(run.completion["result"], 0);
  EXPECT_EQ(run.completion["todo"], total);
  EXPECT_LE(run.progress.size(), 101u);
  EXPECT_GE(run.progress.size(), 99u);
  size_t files = 0;
  for (const auto& item : fs::recursive_directory_iterator(run.folder)) {
    if (item.is_regular_file()) ++files;
  }
  EXPECT_EQ(files, 10000u);
  EXPECT_EQ(ReadFileBytes(run.folder / "d37/f9937"), "entry 9937");
}

TEST_F(UnZipActionTest, UnreadableArchivesCompleteWithTwoAndAreDeleted) {
  const std::string valid = BuildZip({ZipFile("a.txt", Pattern(5000, 3))});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"text.zip", "this is not an archive at all, just some words"},
      {"truncated.zip", valid.substr(0, valid.size() / 2)},
      {"short.zip", valid.substr(valid.size() - 21)},
      {"zero.zip", ""},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    const fs::path path = downloads / name;
    WriteFileBytes(path, bytes);
    const UnZipRun run = RunUnZip(h, path, name);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_EQ(run.completion, Payload(name, 0, kRoute, ZipEngine::kUnreadableMessage, 2, 0));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(run.folder));
  }
  const UnZipRun missing = RunUnZip(h, h.temp.path() / "absent.zip", "m");
  EXPECT_EQ(missing.completion["result"], 2);
}

TEST_F(UnZipActionTest, CorruptOrUnsupportedEntryFailsWith1632AndTheLogSaysWhy) {
  const std::string data = Pattern(200000, 4);
  auto bad = [&](auto change) {
    ZipTestEntry e = ZipFile("bad.bin", data);
    change(e);
    return e;
  };
  struct Case {
    std::string label;
    ZipTestEntry entry;
    std::string cause;
  };
  const std::vector<Case> cases = {
      {"deflated crc", bad([](ZipTestEntry& e) { e.crc = 0x12345678; }), "CRC"},
      {"stored crc", bad([](ZipTestEntry& e) { e.method = 0, e.crc = 1; }), "CRC"},
      {"size larger", bad([](ZipTestEntry& e) { e.recordedSize = 200001; }), "less data"},
      {"size smaller", bad([](ZipTestEntry& e) { e.recordedSize = 150000; }), "more data"},
      {"encrypted", bad([](ZipTestEntry& e) { e.encryptedFlag = true, e.method = 0; }),
       "encrypted entry (traditional PKWARE)"},
      {"PPMd", bad([](ZipTestEntry& e) { e.method = 98; }),
       "unsupported compression method 98 (PPMd)"},
      {"zstd not zstd", bad([](ZipTestEntry& e) { e.method = 93; }), "invalid compressed data"},
  };
  CapturedLog log;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string cbid = "c" + std::to_string(n++);
    const UnZipRun run = RunUnZip(h, Archive({ZipFile("ok.txt", "fine"), c.entry}), cbid);
    EXPECT_EQ(ReadFileBytes(run.folder / "ok.txt"), "fine");
    ASSERT_FALSE(run.progress.empty());
    const nlohmann::json& failure = run.progress.back();
    EXPECT_EQ(failure["result"], 1632);
    EXPECT_EQ(failure["message"], "Failed to create bad.bin");
    EXPECT_EQ(run.completion["result"], 1632);
    EXPECT_EQ(run.completion["message"], "Files not prepared");
    EXPECT_EQ(run.completion["done"], failure["done"]);
    // The contract's line, then one that names the cause.
    const std::vector<std::string> lines = log.Messages("Engine.Zip");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Failed to create bad.bin");
    EXPECT_NE(lines[lines.size() - 2].find("Entry not extracted: bad.bin: " + c.cause),
              std::string::npos)
        << lines[lines.size() - 2];
  }
}

TEST_F(UnZipActionTest, ArchiveContentsThatWouldMislead) {
  // A second entry of a name already extracted: the archive is inconsistent when the names are
  // the same bytes; spelled another way, the second entry is refused and the first one stays.
  const UnZipRun same = RunUnZip(
      h, Archive({ZipFile("setup.exe", "good"), ZipFile("setup.exe", "evil", 0100755)}), "same");
  EXPECT_EQ(same.completion["result"], 2);
  const UnZipRun spelled = RunUnZip(
      h, Archive({ZipFile("bin/setup.exe", "good"), ZipFile("bin\\./setup.exe", "evil", 0100755)}),
      "spelled");
  ASSERT_EQ(spelled.progress.size(), 2u);
  EXPECT_EQ(spelled.progress[1],
            Payload("spelled", 4, kRoute, "Failed to create bin\\./setup.exe", 1632, 8));
  EXPECT_EQ(ReadFileBytes(spelled.folder / "bin/setup.exe"), "good");

  // A local header that names another file than the central directory: the archive is refused,
  // and the log says why.
  ZipTestEntry disguised = ZipFile("readme.txt", "text");
  disguised.localName = "setup.exe";
  CapturedLog log;
  const UnZipRun inconsistent = RunUnZip(h, Archive({disguised}), "incons");
  EXPECT_EQ(inconsistent.completion["result"], 2);
  EXPECT_FALSE(fs::exists(inconsistent.folder));
  const std::vector<std::string> lines = log.Messages("Engine.Zip");
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("the local header of readme.txt names another file"),
            std::string::npos)
      << lines.back();

  // Control characters in an unmarked name are glyphs in the IBM PC code page: refused all the
  // same, and nothing made.
  ZipTestEntry glyphs = ZipFile("\x01smile\x82.txt", "x");
  glyphs.madeBy = 0;
  const UnZipRun controls =
      RunUnZip(h, Archive({glyphs, ZipFile("tab\there", "x"), ZipFile("del\x7f", "x")}), "ctl");
  ASSERT_FALSE(controls.progress.empty());
  EXPECT_EQ(controls.progress[0]["result"], 1632);
  EXPECT_EQ(controls.completion["result"], 1632);  // the later two stop after the failure
  EXPECT_TRUE(!fs::exists(controls.folder) || fs::is_empty(controls.folder));
}

TEST_F(UnZipActionTest, OnlyAnArchiveInsideAWorkingFolderIsDeleted) {
  // What the page may name besides its download: any file of the user's, the working folder
  // climbed out of, a folder whose name merely starts like a working folder's.
  const fs::path thesis = h.temp.path() / "thesis.txt";
  WriteFileBytes(thesis, "years of work");
  const fs::path beside = h.temp.path() / "beside.zip";
  WriteZip(beside, {ZipFile("a", "1")});
  fs::create_directories(h.temp.path() / "{download}x");
  const fs::path lookalike = h.temp.path() / "{download}x" / "p.zip";
  WriteZip(lookalike, {ZipFile("a", "1")});
  const std::vector<std::pair<std::string, std::string>> named = {
      {PathToUtf8(thesis), "thesis"},
      {PathToUtf8(downloads) + "/../beside.zip", "climb"},
      {PathToUtf8(lookalike), "lookalike"},
  };
  for (const auto& [path, cbid] : named) {
    nlohmann::json message = {
        {"action", "doUnZip"}, {"callbackId", cbid}, {"download", {{"des", path}}}};
    h.Post(message.dump());
    ASSERT_TRUE(h.PumpUntil([&] { return !h.host->IsBusy(); }, 60000));
  }
  h.window.PumpAll();
  EXPECT_EQ(CollectRun(h, "thesis").completion["result"], 2);
  EXPECT_EQ(CollectRun(h, "climb").completion["result"], 0);
  EXPECT_EQ(CollectRun(h, "lookalike").completion["result"], 0);
  EXPECT_EQ(ReadFileBytes(thesis), "years of work");
  EXPECT_TRUE(fs::exists(beside));
  EXPECT_TRUE(fs::exists(lookalike));
}

TEST_F(UnZipActionTest, DamagedDataInsideAnIntactDirectoryFails) {
  std::string bytes = BuildZip({ZipFile("a.bin", Pattern(100000, 5))});
  bytes[bytes.size() / 3] ^= 0x5A;  // inside the deflate stream
  const fs::path path = downloads / "flipped.zip";
  WriteFileBytes(path, bytes);
  const UnZipRun run = RunUnZip(h, path);
  EXPECT_EQ(run.completion["result"], 1632);
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(UnZipActionTest, FailedEntryStopsTheRestWhichAreCreatedEmptyAndTheRunFailsWithIt) {
  ZipTestEntry broken = Stored(ZipFile("broken.bin", Pattern(1000, 6)));
  broken.crc = 7;
  const UnZipRun run = RunUnZip(h, Archive({broken, ZipFile("later.bin", Pattern(3000, 7)),
                                            ZipFile("empty.txt", ""), ZipDirectory("dir/")}));
  // The failure is the last word: nobody cancelled, so nothing says "Cancelling".
  ASSERT_FALSE(run.progress.empty());
  const nlohmann::json& last = run.progress.back();
  EXPECT_EQ(last["message"], "Failed to create broken.bin");
  EXPECT_EQ(last["result"], 1632);
  EXPECT_EQ(fs::file_size(run.folder / "later.bin"), 0u);
  EXPECT_EQ(fs::file_size(run.folder / "empty.txt"), 0u);
  EXPECT_TRUE(fs::is_directory(run.folder / "dir"));
  EXPECT_EQ(run.completion["result"], 1632);
  EXPECT_EQ(run.completion["message"], "Files not prepared");
}

TEST_F(UnZipActionTest, NamesThatLeaveTheFolderAndLinksAreRefused) {
  const std::string outside = (h.temp.path() / "outside.txt").string();
  const std::vector<std::string> names = {
      "../evil.txt",
      "a/../../evil.txt",
      "..\\evil.txt",
      "a\\..\\..\\evil.txt",
      outside,
      "\\" + outside.substr(1),
      "C:evil.txt",
      "c:/evil.txt",
      "//server/share/evil.txt",
      "\\\\server\\share\\evil.txt",
      "..",
      "",
  };
  int n = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string cbid = "s" + std::to_string(n++);
    const UnZipRun run = RunUnZip(h, Archive({ZipFile(name, "pwned")}), cbid);
    ASSERT_EQ(run.progress.size(), 1u);
    EXPECT_EQ(run.progress[0], Payload(cbid, 0, kRoute, "Failed to create " + name, 1632, 5));
    EXPECT_EQ(run.completion, Payload(cbid, 0, kRoute, ZipEngine::kNotPreparedMessage, 1632, 5));
  }
  // A link entry that names a folder outside, followed by a file through it. The file lands in
  // a real folder of that name (Linux makes links last) or is created empty (Windows refuses
  // the link first); either way the link is refused and nothing reaches the outside.
  const UnZipRun link = RunUnZip(
      h,
      Archive({ZipSymlink("link", h.temp.path().string()), ZipFile("link/outside.txt", "inside")}),
      "link");
  bool linkRefused = false;
  for (const nlohmann::json& p : link.progress) {
    linkRefused |= p["message"] == "Failed to create link" && p["result"] == 1632;
  }
  EXPECT_TRUE(linkRefused);
  EXPECT_FALSE(fs::is_symlink(link.folder / "link"));
  EXPECT_FALSE(fs::exists(h.temp.path() / "outside.txt"));
  EXPECT_EQ(link.completion["message"], "Files not prepared");

  // Nothing anywhere in the test's folder holds what the hostile entries carried.
  for (const auto& item : fs::recursive_directory_iterator(h.temp.path())) {
    EXPECT_FALSE(item.is_symlink()) << item.path();
    if (item.is_regular_file()) {
      EXPECT_NE(ReadFileBytes(item.path()), "pwned") << item.path();
    }
  }
}

TEST_F(UnZipActionTest, TextReachesThePageAsValidUtf8) {
  // An unmarked name in the IBM PC code page is decoded, on disk and for the page.
  ZipTestEntry cp437 = ZipFile("caf\x82.txt", "cp437");
  cp437.madeBy = 0;
  const UnZipRun legacy = RunUnZip(h, Archive({cp437}), "cp");
  EXPECT_EQ(legacy.completion["result"], 0);
  EXPECT_EQ(ReadFileBytes(legacy.folder / PathFromUtf8("caf\xc3\xa9.txt")), "cp437");
  ASSERT_EQ(legacy.progress.size(), 1u);
  EXPECT_EQ(legacy.progress[0]["message"], "caf\xc3\xa9.txt");

  // A name marked UTF-8 that is not: the archive is inconsistent and refused whole.
  ZipTestEntry invalid = ZipFile("bad\xff\xfe.txt", "bytes");
  invalid.utf8Flag = true;
  const UnZipRun refused = RunUnZip(h, Archive({ZipFile("a", "1"), invalid}), "bad");
  EXPECT_EQ(refused.completion["result"], 2);

  // An archive, a working folder and names outside the ANSI code page reach the disk and the
  // page intact.
  const fs::path wide = h.temp.path() / PathFromUtf8("tmp \u00e9 \u96ea");
  fs::create_directories(wide);
  h.host->WorkingFolders().push_back(PathToUtf8(wide));
  ScopedEnvironmentVariable tmp(kTempDirectoryVariable, PathToUtf8(wide));
  const std::string name = "donn\u00e9es/\u96ea.txt";
  ZipTestEntry marked = ZipFile(name, "snow");
  marked.utf8Flag = true;
  const fs::path archive = wide / PathFromUtf8("\u96ea.zip");
  WriteZip(archive, {marked});
  const UnZipRun run = RunUnZip(h, archive, "wide");
  EXPECT_EQ(run.completion["result"], 0);
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_EQ(run.completion["message"],
            NativePathToUtf8(PathFromUtf8(h.host->WorkingFolders().back())));
  EXPECT_EQ(run.folder.parent_path(), wide);
  EXPECT_EQ(ReadFileBytes(run.folder / PathFromUtf8(name)), "snow");
  EXPECT_EQ(run.progress.at(0)["message"], name);
}

// Names without the UTF-8 flag, as archivers write them: bytes of the IBM PC code page (ö, ä, å
// as 0x94, 0x84, 0x86), from Unix and from DOS, or UTF-8 without the flag. Each is read as UTF-8
// when it is valid UTF-8, else in the code page; the rules on names hold for what it decodes to.
TEST_F(UnZipActionTest, UnflaggedNamesAreUtf8WhenValidElseTheIbmPcCodePage) {
  ZipTestEntry fromDos = ZipFile("\x86.txt", "dos");
  fromDos.madeBy = 0;
  fromDos.externalAttributes = 0x20;
  const UnZipRun run =
      RunUnZip(h,
               Archive({ZipDirectory("Bj\x94rn/"),
                        ZipFile("Bj\x94rn/R\x84ksm\x94rg\x86s.txt", "smorgas"), fromDos,
                        ZipFile("Gr\xc3\xbc\xc3\x9f"
                                "e.txt",
                                "utf-8")}),
               "cp437");
  EXPECT_EQ(run.completion["result"], 0) << run.completion;
  EXPECT_EQ(ReadFileBytes(run.folder / PathFromUtf8("Bj\u00f6rn/R\u00e4ksm\u00f6rg\u00e5s.txt")),
            "smorgas");
  EXPECT_EQ(ReadFileBytes(run.folder / PathFromUtf8("\u00e5.txt")), "dos");
  EXPECT_EQ(ReadFileBytes(run.folder / PathFromUtf8("Gr\u00fc\u00dfe.txt")), "utf-8");
  EXPECT_EQ(run.progress.at(0)["message"], "Bj\u00f6rn/R\u00e4ksm\u00f6rg\u00e5s.txt");

  // Decoded or not, a name that climbs out of the folder is refused.
  const UnZipRun out = RunUnZip(h, Archive({ZipFile("../\x94ut.txt", "x")}), "out");
  EXPECT_EQ(out.completion["result"], 1632);
  EXPECT_FALSE(fs::exists(out.folder.parent_path() / PathFromUtf8("\u00f6ut.txt")));
}

// Forwards to the harness's window, but holds every Post while closed: a worker that reports
// is then stopped at a known point.
class GateWindow : public NativeWindow {
 public:
  explicit GateWindow(NativeWindow& inner) : inner_(inner) {}
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    std::unique_lock<std::mutex> lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    --waiting_;
    return inner_.Post(message, wParam, lParam);
  }
  void Show() override { inner_.Show(); }
  void Hide() override { inner_.Hide(); }
  void ShowMinimized() override { inner_.ShowMinimized(); }
  bool IsVisible() const override { return inner_.IsVisible(); }
  void Destroy() override { inner_.Destroy(); }
  void PostQuit(int exitCode) override { inner_.PostQuit(exitCode); }
  void SetTitle(const std::string& title) override { inner_.SetTitle(title); }
  void ShowWorkProgress(std::optional<double> fraction) override {
    inner_.ShowWorkProgress(fraction);
  }
  void RequestAttention() override { inner_.RequestAttention(); }

  void WaitForPoster() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_ > 0; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  NativeWindow& inner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

TEST_F(UnZipActionTest, ReplacementCancelsTheRunningExtractionOnly) {
  std::vector<ZipTestEntry> many;
  for (int i = 0; i < 50; ++i) many.push_back(Stored(ZipFile("f" + std::to_string(i), "data")));
  const fs::path first = Archive(many, "first.zip");
  const fs::path second = Archive({ZipFile("second.txt", "two")}, "second.zip");

  GateWindow gate(h.window);
  h.host->AnswerThrough(&gate);
  PostUnZip(h, first, "old");
  const fs::path oldFolder = h.host->WorkingFolders().back();
  const std::weak_ptr<PageWorker> oldEngine = h.host->ZipWorker();
  gate.WaitForPoster();  // the old run is inside its first progress report
  PostUnZip(h, second, "new");
  const fs::path newFolder = h.host->WorkingFolders().back();
  gate.Open();
  ASSERT_TRUE(h.PumpUntil([&] { return oldEngine.expired() && !h.host->IsBusy(); }, 60000));
  h.window.PumpAll();
  h.host->AnswerThrough(&h.window);
  const UnZipRun fresh = CollectRun(h, "new");
  const UnZipRun old = CollectRun(h, "old");

  EXPECT_EQ(fresh.completion, Payload("new", 3, kRoute, NativePathToUtf8(newFolder), 0, 3));
  EXPECT_EQ(ReadFileBytes(newFolder / "second.txt"), "two");
  EXPECT_EQ(old.completion, Payload("old", 4, kRoute, ZipEngine::kNotPreparedMessage, 1602, 200));
  ASSERT_EQ(old.progress.size(), 50u);
  EXPECT_EQ(old.progress[0], Payload("old", 4, kRoute, "f0", 0, 200));
  EXPECT_EQ(old.progress[49], Payload("old", 4, kRoute, "Cancelling, please wait...", 1602, 200));
  // Every entry of the old run exists; those after the cancel are empty.
  EXPECT_EQ(ReadFileBytes(oldFolder / "f0"), "data");
  for (int i = 1; i < 50; ++i) EXPECT_EQ(fs::file_size(oldFolder / ("f" + std::to_string(i))), 0u);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(h.host->WorkingFolders().size(), 3u);
}

TEST_F(UnZipActionTest, CloseCancelsAndWaitsForTheExtraction) {
  std::vector<ZipTestEntry> many;
  for (int i = 0; i < 50; ++i) many.push_back(Stored(ZipFile("f" + std::to_string(i), "data")));
  GateWindow gate(h.window);
  h.host->AnswerThrough(&gate);
  PostUnZip(h, Archive(many), "x");
  gate.WaitForPoster();

  h.host->OnWebMessageReceived(R"({"action":"doClose"})");
  EXPECT_TRUE(h.host->ZipWorker()->cancelRequested.load());
  EXPECT_EQ(h.window.Events().back(), "post:1126");  // busy: the page is asked again later

  gate.Open();
  ASSERT_TRUE(h.PumpUntil([&] { return !h.host->IsBusy(); }));
  h.host->AnswerThrough(&h.window);
  const UnZipRun run = CollectRun(h, "x");
  EXPECT_EQ(run.completion["result"], 1602);
  EXPECT_EQ(run.completion["message"], "Files not prepared");

  h.host->OnWebMessageReceived(R"({"action":"doClose"})");
  EXPECT_EQ(h.window.Events().back(), "post:1127");  // idle: the window may go
  h.window.Clear();
}

TEST_F(UnZipActionTest, WritesTheRequestStartAndCompletionLines) {
  Logger::ResetForTesting();
  TemporaryFolder logs;
  {
    ScopedEnvironmentVariable dir("VLM_LOG_DIR", logs.path().string());
    ScopedEnvironmentVariable level("VLM_LOG_LEVEL", "DEBUG");
    ASSERT_TRUE(Logger::Initialize("", "Quillfetch"));
  }
  const fs::path archive = Archive({ZipFile("a", "1"), ZipDirectory("d/"), ZipFile("d/b", "2")});
  const UnZipRun run = RunUnZip(h, archive);
  std::vector<std::string> lines;
  for (const LogEntry& e : Logger::GetRecentEntries(1000, true)) {
    if (e.category == "unzip" || e.category == "Engine.Zip") {
      lines.push_back(e.level + " " + e.category + " " + e.message);
    }
  }
  Logger::ResetForTesting();
  const std::string folder = NativePathToUtf8(run.folder);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "INFO unzip Unzip requested file=" + archive.string(),
                       "INFO Engine.Zip Unzip starting: src=" + archive.string() +
                           ", dest=" + folder + ", files=3",
                       "INFO Engine.Zip Unzip completed: dest=" + folder,
                   }));
}

}  // namespace
