#include "base/sha256.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_environment.h"

// FIPS 180-4 example digests, through the platform's hashing service.
TEST(Sha256Test, KnownDigestsOfBytesAndFiles) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

  // A million 'a's: more than one read block of the file path.
  TemporaryFolder folder;
  const std::filesystem::path file = folder.path() / "million-a.bin";
  std::ofstream(file, std::ios::binary) << std::string(1'000'000, 'a');
  const char* const kMillionA = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(Sha256HexOfFile(file), kMillionA);
  EXPECT_EQ(Sha256Hex(std::string(1'000'000, 'a')), kMillionA);
  EXPECT_EQ(Sha256HexOfFile(folder.path() / "missing.bin"), std::nullopt);
}
