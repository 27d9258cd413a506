// A checked archive on Linux, where nothing stops another writer: the reader keeps reading the
// file it opened whatever comes to its name, and any change to that file while it is open (a
// write, or losing its name) fails the check.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "install/zip_builder.h"
#include "install/zip_reader.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

struct AcceptingCheck final : BytesCheck {
  explicit AcceptingCheck(std::string& seen) : seen(seen) {}
  void Add(const void* data, size_t length) override {
    seen.append(static_cast<const char*>(data), length);
  }
  bool Matches(uint64_t) override { return true; }
  std::string& seen;
};

TEST(CheckedArchivePosix, ReadsTheFileItOpenedAndNoticesAnyWriteToIt) {
  TemporaryFolder temp;
  const fs::path archive = temp.path() / "a.zip";
  WriteZip(archive, {ZipFile("setup.sh", std::string(70000, 'a'))});
  const std::string original = ReadFileBytes(archive);
  std::string other = original;
  other[100] ^= 1;

  // Left alone, it matches.
  std::string seen;
  auto reader = ZipReader::Open(archive.string(), std::make_unique<AcceptingCheck>(seen));
  ASSERT_TRUE(reader);
  EXPECT_TRUE(reader->ArchiveMatches());
  EXPECT_TRUE(seen == original);

  // Another file renamed over the name: the open file is still the one read, and it was changed
  // meanwhile (it lost its name).
  seen.clear();
  reader = ZipReader::Open(archive.string(), std::make_unique<AcceptingCheck>(seen));
  ASSERT_TRUE(reader);
  WriteFileBytes(temp.path() / "other.zip", other);
  fs::rename(temp.path() / "other.zip", archive);
  EXPECT_FALSE(reader->ArchiveMatches());
  EXPECT_TRUE(seen == original);

  // Written in place while open, even with the bytes it already had (and which the check would
  // accept): the file's change time tells, and the check fails.
  WriteFileBytes(archive, original);
  reader = ZipReader::Open(archive.string(), std::make_unique<AcceptingCheck>(seen));
  ASSERT_TRUE(reader);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // past the clock's coarse tick
  std::fstream(archive, std::ios::binary | std::ios::in | std::ios::out) << original;
  EXPECT_FALSE(reader->ArchiveMatches());
}

}  // namespace
