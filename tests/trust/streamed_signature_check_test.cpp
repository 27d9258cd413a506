#include "trust/streamed_signature_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "trust/signature_vectors.h"

namespace {

using namespace signature_vectors;

// Writes `bytes` from `offset` on in pieces of `piece` bytes, as a transfer hands them over.
void WriteInPieces(StreamedSignatureCheck& check, const std::string& bytes, size_t offset,
                   size_t piece) {
  for (size_t at = offset; at < bytes.size(); at += piece) {
    check.Wrote(at, bytes.data() + at, std::min(piece, bytes.size() - at));
  }
}

std::optional<SignatureVerdict> Check(const std::function<void(StreamedSignatureCheck&)>& writes,
                                      uint64_t fileSize = kPatternSize) {
  std::unique_ptr<StreamedSignatureCheck> check = StreamedSignatureCheck::Start();
  if (!check) return SignatureVerdict::kUnreadable;  // the test fails on this
  writes(*check);
  const std::optional<Sha256Digest> digest = check->Finish(fileSize);
  if (!digest) return std::nullopt;
  return VerifyDigestSignature(Bytes(kKey), *digest, Bytes(kPatternSignature));
}

// Odd piece sizes cross every block boundary, more blocks than the queue holds go through, and
// a transfer that empties its file and starts over is followed from its new first byte.
TEST(StreamedSignatureCheckTest, FollowsTheFileThroughPiecesAndStartsOver) {
  const std::string archive = PatternArchive();
  EXPECT_EQ(Check([&](StreamedSignatureCheck& c) { WriteInPieces(c, archive, 0, 16411); }),
            SignatureVerdict::kValid);

  std::string altered = archive;
  altered[2000000] ^= 1;
  EXPECT_EQ(Check([&](StreamedSignatureCheck& c) {
              WriteInPieces(c, altered.substr(0, 1500000), 0, 300000);
              WriteInPieces(c, archive, 0, 262144);
            }),
            SignatureVerdict::kValid);
  EXPECT_EQ(Check([&](StreamedSignatureCheck& c) { WriteInPieces(c, altered, 0, 70001); }),
            SignatureVerdict::kInvalid);
}

// Whatever the check did not see whole and in order leaves the verdict to a reading of the file.
TEST(StreamedSignatureCheckTest, GivesUpOnBytesItDidNotFollow) {
  const std::string archive = PatternArchive();
  const auto resumedFromDisk = [&](StreamedSignatureCheck& c) {
    WriteInPieces(c, archive, 1000, 65536);
  };
  EXPECT_EQ(Check(resumedFromDisk), std::nullopt);
  const auto rewroteAPiece = [&](StreamedSignatureCheck& c) {
    WriteInPieces(c, archive.substr(0, 500000), 0, 100000);
    WriteInPieces(c, archive, 400000, 100000);
  };
  EXPECT_EQ(Check(rewroteAPiece), std::nullopt);
  const auto all = [&](StreamedSignatureCheck& c) { WriteInPieces(c, archive, 0, 100000); };
  EXPECT_EQ(Check(all, kPatternSize + 1), std::nullopt);  // the file grew afterwards
}

}  // namespace
