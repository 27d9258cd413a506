#include "trust/archive_signature.h"

#include <gtest/gtest.h>

#include "support/test_environment.h"
#include "trust/signature_vectors.h"

namespace {

using namespace signature_vectors;

class ArchiveSignatureTest : public ::testing::Test {
 protected:
  SignatureVerdict Verify(const std::string& bytes, const std::vector<uint8_t>& signature,
                          const char* key = kKey) {
    WriteFile(file, bytes);
    return VerifyFileSignature(Bytes(key), file, signature);
  }

  TemporaryFolder folder;
  std::filesystem::path file = folder.path() / "archive.zip";
};

// Both integer shapes (plain 32 bytes, and 33 with a sign byte) reach the platform's
// arithmetic intact, and a file is streamed across block boundaries.
TEST_F(ArchiveSignatureTest, GoodSignaturesVerify) {
  EXPECT_EQ(Verify(PatternArchive(), Bytes(kPatternSignature)), SignatureVerdict::kValid);
  EXPECT_EQ(Verify(kOtherArchive, Bytes(kOtherSignature)), SignatureVerdict::kValid);
}

TEST_F(ArchiveSignatureTest, EveryMismatchIsRefused) {
  std::string altered = PatternArchive();
  altered[1500000] = static_cast<char>(altered[1500000] ^ 1);
  EXPECT_EQ(Verify(altered, Bytes(kPatternSignature)), SignatureVerdict::kInvalid);
  std::string truncated = PatternArchive();
  truncated.pop_back();
  EXPECT_EQ(Verify(truncated, Bytes(kPatternSignature)), SignatureVerdict::kInvalid);
  EXPECT_EQ(Verify(PatternArchive(), Bytes(kOtherSignature)), SignatureVerdict::kInvalid);
  EXPECT_EQ(Verify(PatternArchive(), Bytes(kPatternSignature), kOtherKey),
            SignatureVerdict::kInvalid);
  std::vector<uint8_t> flipped = Bytes(kPatternSignature);
  flipped.back() ^= 1;
  EXPECT_EQ(Verify(PatternArchive(), flipped), SignatureVerdict::kInvalid);
  // The same r with a needless zero in front: the value is right, the encoding is not strict.
  std::vector<uint8_t> loose = Bytes(kPatternSignature);
  loose.insert(loose.begin() + 4, 0x00);
  loose[1] += 1;
  loose[3] += 1;
  EXPECT_EQ(Verify(PatternArchive(), loose), SignatureVerdict::kInvalid);
  // A key that is not a P-256 public key verifies nothing.
  std::vector<uint8_t> badKey = Bytes(kKey);
  badKey.back() ^= 1;  // the point leaves the curve
  WriteFile(file, PatternArchive());
  EXPECT_EQ(VerifyFileSignature(badKey, file, Bytes(kPatternSignature)),
            SignatureVerdict::kInvalid);

  EXPECT_EQ(
      VerifyFileSignature(Bytes(kKey), folder.path() / "missing.zip", Bytes(kPatternSignature)),
      SignatureVerdict::kUnreadable);
}

TEST(Base64Decode, TakesPaddedTextWithLineBreaksAndNothingElse) {
  EXPECT_EQ(DecodeBase64("TWFu"), (std::vector<uint8_t>{'M', 'a', 'n'}));
  EXPECT_EQ(DecodeBase64(" TW\r\nE=\n"), (std::vector<uint8_t>{'M', 'a'}));
  EXPECT_EQ(DecodeBase64("TQ=="), (std::vector<uint8_t>{'M'}));
  EXPECT_EQ(DecodeBase64("+/+/"), (std::vector<uint8_t>{0xFB, 0xFF, 0xBF}));
  for (const char* bad : {"", "TWF", "TW=u", "TQ===", "T===", "TWF*", "-_-_", "TWFu\x80"}) {
    EXPECT_FALSE(DecodeBase64(bad)) << bad;
  }
}

TEST(EcdsaDerToRaw, PadsShortIntegersDropsSignBytesAndRefusesLooseDer) {
  const std::vector<uint8_t> der = {0x30, 0x08, 0x02, 0x01, 0x05, 0x02, 0x03, 0x00, 0x80, 0x01};
  const std::optional<std::array<uint8_t, 64>> raw = EcdsaDerToRaw(der);
  ASSERT_TRUE(raw);
  std::array<uint8_t, 64> expected{};
  expected[31] = 0x05;
  expected[62] = 0x80;
  expected[63] = 0x01;
  EXPECT_EQ(*raw, expected);

  const std::vector<std::vector<uint8_t>> refused = {
      {0x30, 0x06, 0x02, 0x01, 0x85, 0x02, 0x01, 0x01},        // negative r
      {0x30, 0x07, 0x02, 0x02, 0x00, 0x05, 0x02, 0x01, 0x01},  // needless leading zero
      {0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x01},        // r = 0
      {0x30, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x01, 0x00},  // bytes after the sequence
      {0x30, 0x07, 0x02, 0x01, 0x05, 0x02, 0x01, 0x01, 0x00},  // length past the integers
      {0x30, 0x81, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x01},  // long-form length
      {0x31, 0x06, 0x02, 0x01, 0x05, 0x02, 0x01, 0x01},        // not a SEQUENCE
      {0x30, 0x06, 0x04, 0x01, 0x05, 0x02, 0x01, 0x01},        // not an INTEGER
      {0x30, 0x04, 0x02, 0x02, 0x05, 0x02},                    // cut short
  };
  for (const auto& bytes : refused) EXPECT_FALSE(EcdsaDerToRaw(bytes));
  // 33 value bytes without a sign byte do not fit the curve's 32.
  std::vector<uint8_t> wide = {0x30, 0x26, 0x02, 0x21};
  wide.insert(wide.end(), 33, 0x11);
  wide.insert(wide.end(), {0x02, 0x01, 0x01});
  EXPECT_FALSE(EcdsaDerToRaw(wide));
}

}  // namespace
