#include "trust/release_manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/signature_vectors.h"

namespace {

using namespace signature_vectors;

Sha256Digest PatternDigest() {
  return BytesSha256(PatternArchive()).value_or(Sha256Digest{});
}

// The code CheckArchiveSignature gives `text` for PatternArchive when the page asks for
// `product` from `minVersion` on (empty: not asked).
HResult Check(const std::string& text, std::string product = "", std::string minVersion = "") {
  std::string why;
  const std::optional<ArchiveSignature> parsed = ParseArchiveSignature(text, why);
  if (!parsed) return trust_code::kBadSignature;
  return CheckArchiveSignature(Bytes(kKey), *parsed, PatternDigest(),
                               ReleaseWanted{std::move(product), std::move(minVersion)}, why);
}

TEST(ReleaseManifestTest, ASignedReleaseIsBelievedOnlyOnceItVerifiesAndNamesTheArchive) {
  EXPECT_EQ(Check(kPatternRelease241), kOk);
  EXPECT_EQ(Check(kPatternRelease241, "com.example.pattern", "2.4.1.0"), kOk);
  // Another archive's release, and a manifest edited after signing to pass as a newer one.
  EXPECT_EQ(Check(kOtherArchiveRelease, "com.example.pattern", "2"), trust_code::kBadSignature);
  std::string edited = kPatternRelease239;
  edited.replace(edited.find("2.3.9"), 5, "2.4.9");
  EXPECT_EQ(Check(edited, "com.example.pattern", "2.4"), trust_code::kBadSignature);
}

TEST(ReleaseManifestTest, AnotherProductOrAnOlderReleaseIsRefusedWithItsOwnCode) {
  EXPECT_EQ(Check(kOtherProductRelease, "com.example.pattern"), trust_code::kOtherRelease);
  EXPECT_EQ(Check(kOtherProductRelease, "", "2.4"), kOk);  // only what the page names is asked
  EXPECT_EQ(Check(kPatternRelease239, "com.example.pattern", "2.4"), trust_code::kOlderRelease);
  // Numbers, not text: 2.10 is newer than 2.4.1, and 2.4 the same as 2.4.0.
  EXPECT_EQ(Check(kPatternRelease241, "", "2.10"), trust_code::kOlderRelease);
  EXPECT_EQ(Check(kPatternRelease241, "", "2.4.2"), trust_code::kOlderRelease);
  EXPECT_EQ(Check(kPatternRelease239, "", "2.3.9.0"), kOk);
  EXPECT_EQ(Check(kPatternRelease241, "com.example.Pattern"), trust_code::kOtherRelease);
}

// Vendors' existing signatures still work, but cannot stand in for a release the page asks for.
TEST(ReleaseManifestTest, ABareSignatureIsTakenOnlyWhileThePageNamesNoRelease) {
  EXPECT_EQ(Check(kPatternSignature), kOk);
  EXPECT_EQ(Check(kOtherSignature), trust_code::kBadSignature);
  EXPECT_EQ(Check(kPatternSignature, "com.example.pattern"), trust_code::kOtherRelease);
  EXPECT_EQ(Check(kPatternSignature, "", "1"), trust_code::kOtherRelease);
}

TEST(ReleaseManifestTest, OnlyTheExactLayoutParses) {
  const std::string good = kPatternRelease241;
  const auto without = [&](const std::string& part, const std::string& instead = "") {
    std::string text = good;
    text.replace(text.find(part), part.size(), instead);
    return text;
  };
  std::string why;
  EXPECT_TRUE(ParseArchiveSignature(good, why));
  EXPECT_TRUE(ParseArchiveSignature(good.substr(0, good.size() - 1), why));  // no last "\n"
  for (const std::string& bad : {
           without("version: 2.4.1\n"),                            // a line missing
           without("version: 2.4.1\n", "version: 2.4.1\nx: y\n"),  // a line too many
           without("2.4.1", "2.4.1-beta.01"),                      // not a version
           without("com.example.pattern", "../pattern"),           // not a product id
           without("signature: "),                                 // no signature line
           good + "product: com.example.other\n",                  // a line after it
           without("quillfetch-release 1", "quillfetch-release 2"),
       }) {
    EXPECT_FALSE(ParseArchiveSignature(bad, why)) << bad;
  }
  std::string reordered = without("product: com.example.pattern\n");
  reordered.insert(reordered.find("sha256"), "product: com.example.pattern\n");
  EXPECT_FALSE(ParseArchiveSignature(reordered, why));

  for (const char* version : {"2", "2.4.1", "0.0.0.1", "999999999"}) {
    EXPECT_TRUE(ParseVersion(version)) << version;
  }
  for (const char* version : {"", "2.", ".2", "1..2", "1.2.3.4.5", "1000000000", "v2", "2 "}) {
    EXPECT_FALSE(ParseVersion(version)) << version;
  }
  EXPECT_TRUE(IsProductId("a"));
  EXPECT_FALSE(IsProductId(std::string(129, 'a')));
  for (const char* id : {"", ".hidden", "-x", "a b", "a/b", "a\\b"}) EXPECT_FALSE(IsProductId(id));
}

TEST(ReleaseManifestTest, VersionsOrderAsSemanticVersioningOrdersThem) {
  // Oldest first; each pair in one row is equal.
  const std::vector<std::vector<std::string>> ordered = {
      {"0.9.99"},
      {"1.0.0-0"},
      {"1.0.0-1", "1.0.0-1+build.5"},
      {"1.0.0-9"},
      {"1.0.0-10"},  // numbers as numbers
      {"1.0.0-alpha", "1-alpha"},
      {"1.0.0-alpha.1"},
      {"1.0.0-alpha.beta"},
      {"1.0.0-beta"},
      {"1.0.0-beta.2"},
      {"1.0.0-beta.11"},
      {"1.0.0-rc.1"},
      {"1.0.0-rc-1"},  // "rc" is a prefix of "rc-1", so lower in ASCII order
      {"1.0.0", "1", "1.0", "1.0.0.0", "1.0.0+20130313144700", "01.0"},
      {"1.0.1"},
      {"1.2.0-beta.2"},
      {"1.2", "1.2.0+exp.sha.5114f85"},
      {"1.10"},
      {"2"},
      {"999999999.1.1.1"},
  };
  for (size_t i = 0; i < ordered.size(); ++i) {
    for (size_t j = 0; j < ordered.size(); ++j) {
      for (const std::string& a : ordered[i]) {
        for (const std::string& b : ordered[j]) {
          const std::optional<Version> x = ParseVersion(a);
          const std::optional<Version> y = ParseVersion(b);
          ASSERT_TRUE(x && y) << a << " " << b;
          const int order = CompareVersions(*x, *y);
          EXPECT_EQ(order < 0 ? -1 : (order > 0 ? 1 : 0), i < j ? -1 : (i > j ? 1 : 0))
              << a << " against " << b;
        }
      }
    }
  }
  for (const char* refused :
       {"1.0.0-", "1.0.0+", "1.0.0-01", "1.0.0-beta..1", "1.0.0-beta.", "1.0.0-be ta", "1.0.0+a+b",
        "1.0.0-\xce\xb1", "1.0.0-beta_2", "-beta", "1.2.3.4.5-rc"}) {
    EXPECT_FALSE(ParseVersion(refused)) << refused;
  }
  EXPECT_TRUE(ParseVersion("1.0.0-x-y-z.--+0001"));
  EXPECT_TRUE(ParseVersion("1.0.0-" + std::string(122, 'a')));
  EXPECT_FALSE(ParseVersion("1.0.0-" + std::string(123, 'a')));

  // The page's lowest version may be a pre-release: 2.4.1 is newer than its own candidates.
  EXPECT_EQ(Check(kPatternRelease241, "", "2.4.1-rc.1"), kOk);
  EXPECT_EQ(Check(kPatternRelease241, "", "2.4.1+any"), kOk);
  EXPECT_EQ(Check(kPatternRelease241, "", "2.4.2-alpha"), trust_code::kOlderRelease);
}

}  // namespace
