#include <gtest/gtest.h>

#include "download/transfer_fixture.h"
#include "trust/signature_vectors.h"

namespace fs = std::filesystem;
using namespace signature_vectors;

namespace {

constexpr char kSignedTarget[] =
    "/bucket.s3.amazonaws.com/archive.zip?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Signature=1";

// A keyed engine fetching the pattern archive: the checks after the transfer on the platform's
// own transfer and cryptography.
class SignedDownloadTest : public TransferFixture {
 protected:
  void SetUp() override {
    TransferFixture::SetUp();
    archiveFile = folder.path() / "pattern.zip";
    WriteFile(archiveFile, PatternArchive());
  }

  CallbackPayload DownloadSigned(std::optional<std::string> signature, std::string signatureUrl,
                                 const char* target = kSignedTarget,
                                 std::vector<std::string> faults = {}) {
    completions.clear();
    faults.insert(faults.begin(), {"--body-file", archiveFile.string()});
    FaultHttpServer server(faults);
    engine = MakeEngine(server.Url(target), Destination());
    engine->archiveKey = Bytes(kKey);
    engine->signature = std::move(signature);
    engine->signatureUrl = Utf8ToUtf16(signatureUrl);
    engine->wantedRelease = wanted;
    engine->Run();
    std::lock_guard lock(mutex);
    EXPECT_EQ(completions.size(), 1u);
    return completions.empty() ? CallbackPayload() : completions.back();
  }

  std::string Des() const { return Destination().generic_string(); }

  fs::path archiveFile;
  ReleaseWanted wanted;
};

TEST_F(SignedDownloadTest, InlineSignaturesGiveTheirCodesAndOnlyAGoodOneKeepsTheArchive) {
  const struct {
    std::optional<std::string> signature;
    uint32_t result;
  } cases[] = {
      {std::nullopt, 256},                   // none given
      {"not base64!", 24592},                // not base64
      {kOtherSignature, 24592},              // another archive's
      {std::string(kPatternSignature), 0u},  // its own
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signature.value_or("(none)"));
    const CallbackPayload done = DownloadSigned(c.signature, "");
    EXPECT_EQ(done.result, c.result) << done.message;
    EXPECT_EQ(fs::exists(Destination()), c.result == 0);
    EXPECT_EQ(engine->VerifiedArchiveIs(Des()), c.result == 0);
    EXPECT_EQ(engine->VerifiedBytesCheck() != nullptr, c.result == 0);
    if (c.result != 0) {
      EXPECT_EQ(done.message.rfind("The download could not be verified (", 0), 0u);
    }
  }
  EXPECT_EQ(EntriesAt("ERROR", "The download could not be verified (no signature was given).")
                .back()
                .message,
            "The download could not be verified (no signature was given)., hr=0x800B0100");

  // Read again where it is used, the archive's own bytes verify as the download did, in any
  // pieces; a single changed bit does not.
  const std::string bytes = PatternArchive();
  std::string changed = bytes;
  changed[changed.size() / 2] ^= 1;
  const std::string& altered = changed;
  for (const std::string* read : {&bytes, &altered}) {
    const std::unique_ptr<BytesCheck> check = engine->VerifiedBytesCheck();
    ASSERT_TRUE(check);
    check->Add(read->data(), 1000);
    check->Add(read->data() + 1000, read->size() - 1000);
    EXPECT_EQ(check->Matches(read->size()), read == &bytes);
  }

  // The archive changed after it verified is no longer the one that did.
  std::ofstream(Destination(), std::ios::binary | std::ios::app) << 'x';
  EXPECT_FALSE(engine->VerifiedArchiveIs(Des()));
}

TEST_F(SignedDownloadTest, SignatureUrlIsFetchedBesideTheArchiveWithinItsLimit) {
  const fs::path signatureFile = folder.path() / "pattern.zip.sig";
  WriteFile(signatureFile, std::string(kPatternSignature) + "\n");
  {
    FaultHttpServer signatures({"--body-file", signatureFile.string()});
    const CallbackPayload done = DownloadSigned(std::nullopt, signatures.Url("/pattern.zip.sig"));
    ASSERT_EQ(done.result, 0u) << done.message;
    EXPECT_TRUE(engine->VerifiedArchiveIs(Des()));
    // The page saw the archive's figures, never the signature's.
    EXPECT_EQ(done.done, kPatternSize);
    for (const CallbackPayload& p : progress) EXPECT_EQ(p.todo, kPatternSize);
    EXPECT_FALSE(fs::exists(Destination().string() + ".sig"));
  }

  FaultHttpServer missing({"--status", "404"});
  CallbackPayload done = DownloadSigned(std::nullopt, missing.Url("/pattern.zip.sig"));
  EXPECT_EQ(done.result, 256u);
  EXPECT_NE(done.message.find("could not be fetched, 0x80070194"), std::string::npos)
      << done.message;
  EXPECT_FALSE(fs::exists(Destination()));

  // A body far past 4 KiB is cut off, with or without a length in advance.
  WriteFile(signatureFile, std::string(300000, 'A'));
  for (const char* length : {"--ignore-range", "--no-content-length"}) {
    FaultHttpServer large({"--body-file", signatureFile.string(), length});
    done = DownloadSigned(std::nullopt, large.Url("/pattern.zip.sig"));
    EXPECT_EQ(done.result, 256u);
    EXPECT_NE(done.message.find("larger than 4096 bytes"), std::string::npos) << done.message;
    EXPECT_FALSE(fs::exists(Destination()));
    EXPECT_FALSE(engine->cancelRequested.load());
  }
}

// The archive is hashed while it arrives, through a resume and through a start over from zero;
// it is read again only when the transfer began from bytes the check never saw.
TEST_F(SignedDownloadTest, TheArchiveIsHashedAsItArrivesUnlessItResumesFromDisk) {
  const std::vector<std::string> cuts[] = {{"--cut-after", "1000003"},
                                           {"--cut-after", "1000003", "--ignore-range"}};
  std::vector<const char*> targets = {kSignedTarget};
#ifndef _WIN32
  targets.push_back("/archive.zip");  // the background job; the platform's service tells nobody
#endif
  for (const char* target : targets) {
    for (const std::vector<std::string>& cut : cuts) {
      SCOPED_TRACE(std::string(target) + " " + cut.back());
      const CallbackPayload done = DownloadSigned(kPatternSignature, "", target, cut);
      EXPECT_EQ(done.result, 0u) << done.message;
      EXPECT_TRUE(engine->VerifiedArchiveIs(Des()));
      EXPECT_TRUE(EntriesAt("INFO", "Reading the archive to check its signature").empty());
    }
  }
#ifndef _WIN32
  // A job left off by an earlier run goes on from its partial file.
  WriteFile(Destination().string() + ".partial", PatternArchive().substr(0, 1000000));
  const CallbackPayload done = DownloadSigned(kPatternSignature, "", "/archive.zip");
  EXPECT_EQ(done.result, 0u) << done.message;
  EXPECT_TRUE(engine->VerifiedArchiveIs(Des()));
  EXPECT_EQ(EntriesAt("INFO", "Reading the archive to check its signature").size(), 1u);
#endif
}

// A download continued from kept bytes verifies: the check is told of them before the rest.
TEST_F(SignedDownloadTest, AnArchiveContinuedFromKeptBytesVerifies) {
  TemporaryFolder kept;
  FaultHttpServer server({"--body-file", archiveFile.string(), "--etag", "\"a\"", "--cut-after",
                          "1000003", "--then-status", "403"});
  for (const uint32_t expected : {403u, 0u}) {
    completions.clear();
    engine = MakeEngine(server.Url(kSignedTarget), Destination());
    engine->archiveKey = Bytes(kKey);
    engine->signature = kPatternSignature;
    engine->keptDownloadsFolder = kept.path();
    engine->Run();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0].result, expected) << completions[0].message;
  }
  EXPECT_TRUE(engine->VerifiedArchiveIs(Des()));
  EXPECT_EQ(server.Requests().back()["headers"]["range"], "bytes=1000003-");
  EXPECT_TRUE(EntriesAt("INFO", "Reading the archive to check its signature").empty());
}

// A release manifest is held against the digest the transfer made as the archive arrived; the
// page's product and lowest version decide only after its signature does.
TEST_F(SignedDownloadTest, AReleaseManifestBindsTheArchiveThatArrived) {
  const struct {
    const char* text;
    const char* minVersion;
    uint32_t result;
  } cases[] = {
      {kPatternRelease241, "2.4", 0},  {kPatternRelease239, "2.4", 257},
      {kOtherProductRelease, "", 272}, {kOtherArchiveRelease, "", 24592},
      {kPatternSignature, "", 272},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    wanted = ReleaseWanted{"com.example.pattern", c.minVersion};
    const CallbackPayload done = DownloadSigned(c.text, "");
    EXPECT_EQ(done.result, c.result) << done.message;
    EXPECT_EQ(fs::exists(Destination()), c.result == 0);
    EXPECT_EQ(engine->VerifiedArchiveIs(Des()), c.result == 0);
  }
  EXPECT_TRUE(EntriesAt("INFO", "Reading the archive to check its signature").empty());
  EXPECT_EQ(EntriesAt("ERROR",
                      "The download could not be verified (the archive is version 2.3.9, "
                      "older than 2.4).")
                .size(),
            1u);
}

}  // namespace
