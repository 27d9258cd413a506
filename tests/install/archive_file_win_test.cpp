// A checked archive on Windows: held without write or delete sharing from its open until the
// reader is gone, so that its bytes cannot change while they are extracted and checked.
// Wine enforces sharing modes as Windows does; what it cannot show is the protected folder
// around the file (ACLs are not enforced there).

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "install/zip_builder.h"
#include "install/zip_reader.h"
#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

struct AcceptingCheck final : BytesCheck {
  void Add(const void*, size_t) override {}
  bool Matches(uint64_t) override { return true; }
};

HANDLE OpenForWriting(const fs::path& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(CheckedArchiveWin, NobodyWritesRenamesOrDeletesItWhileItIsRead) {
  TemporaryFolder temp;
  const fs::path archive = temp.path() / "a.zip";
  const fs::path moved = temp.path() / "moved.zip";
  WriteZip(archive, {ZipFile("Setup.exe", "program")});

  auto reader = ZipReader::Open(archive.string(), std::make_unique<AcceptingCheck>());
  ASSERT_TRUE(reader);
  EXPECT_EQ(OpenForWriting(archive), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileExW(archive.c_str(), moved.c_str(), 0));
  EXPECT_FALSE(DeleteFileW(archive.c_str()));
  EXPECT_TRUE(reader->ArchiveMatches());
  reader.reset();

  // Held by a writer already: not opened for a check at all. Without a check, writers are
  // shared with as before.
  const HANDLE writer = OpenForWriting(archive);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(ZipReader::Open(archive.string(), std::make_unique<AcceptingCheck>()));
  EXPECT_TRUE(ZipReader::Open(archive.string()));
  CloseHandle(writer);
  EXPECT_TRUE(DeleteFileW(archive.c_str()));
}

}  // namespace
