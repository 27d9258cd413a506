#include "app/ui_manifest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_environment.h"
#include "trust/signature_vectors.h"

namespace fs = std::filesystem;

namespace {

using signature_vectors::Bytes;
using signature_vectors::kKey;
using signature_vectors::kOtherKey;

constexpr char kIndex[] = "<!doctype html><title>t</title>\n";
constexpr char kScript[] = "console.log(1);\n";
// scripts/sign-archive sign-ui with the test key, over the two files above.
constexpr char kManifest[] =
    "quillfetch-ui 1\n"
    "b728ce2fec6018b4cc474d02240628b80fc9dee64ee9614c1bcff53296eeccc8  index.html\n"
    "b603d946eb2b396ca4ecf65c223daff659dbe6f1cfeac235b7c61d3ba6964cae  js/app.js\n"
    "signature: "
    "MEUCIA0aaKKJjRecps0LJocg1jKp+82t3PVWv7QjOj4koKbKAiEAu7wCgXvoocyiuqCfC1FNZjw3qKxlOXKJ"
    "HdkGEVk1xcI=\n";

// The same files signed as version 2.0 of com.example.product's page.
constexpr char kReleaseManifest[] =
    "quillfetch-ui 2\n"
    "product: com.example.product\n"
    "version: 2.0\n"
    "b728ce2fec6018b4cc474d02240628b80fc9dee64ee9614c1bcff53296eeccc8  index.html\n"
    "b603d946eb2b396ca4ecf65c223daff659dbe6f1cfeac235b7c61d3ba6964cae  js/app.js\n"
    "signature: "
    "MEQCIDSyw1sNVq8JO7p//ag20t55CYBMCYOUflj+u5WjxUW0AiBK5InGYaW9/GCBBWILcpg3yjPcp9htQcGo0RrHoiJ"
    "wqA==\n";

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

class UiManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(ui_ / "index.html", kIndex);
    WriteFile(ui_ / "js" / "app.js", kScript);
    WriteFile(ui_ / kUiManifestName, kManifest);
  }

  // The reason Load gives, or "" when the folder verifies.
  std::string Refusal(const char* key = kKey) {
    std::string why;
    return UiManifest::Load(ui_, Bytes(key), why) ? "" : why;
  }

  TemporaryFolder temp_;
  fs::path ui_ = temp_.path() / "UI";
};

TEST_F(UiManifestTest, OnlyTheFolderAsSignedLoads) {
  EXPECT_EQ(Refusal(), "");
  EXPECT_NE(Refusal(kOtherKey), "");

  WriteFile(ui_ / "js" / "app.js", "console.log(2);\n");
  EXPECT_EQ(Refusal(), "js/app.js has been changed since it was signed");
  WriteFile(ui_ / "js" / "app.js", kScript);

  WriteFile(ui_ / "js" / "extra.js", "1;");
  EXPECT_EQ(Refusal(), "the folder holds js/extra.js, which is not listed in ui-manifest.txt");
  fs::remove(ui_ / "js" / "extra.js");

  fs::remove(ui_ / "index.html");
  EXPECT_EQ(Refusal(), "index.html is listed in ui-manifest.txt but missing");
  WriteFile(ui_ / "index.html", kIndex);

  // A manifest edited to list a changed file no longer verifies.
  std::string edited = kManifest;
  edited[20] = edited[20] == 'a' ? 'b' : 'a';
  WriteFile(ui_ / kUiManifestName, edited);
  EXPECT_EQ(Refusal(), "ui-manifest.txt is not signed with the built-in key");
  fs::remove(ui_ / kUiManifestName);
  EXPECT_EQ(Refusal(), "the folder has no readable ui-manifest.txt");
}

#ifndef _WIN32
TEST_F(UiManifestTest, ALinkInTheFolderIsRefusedEvenToAListedFile) {
  fs::remove(ui_ / "js" / "app.js");
  WriteFile(temp_.path() / "app.js", kScript);
  fs::create_symlink(temp_.path() / "app.js", ui_ / "js" / "app.js");
  EXPECT_EQ(Refusal(), "the folder holds js/app.js, which is not listed in ui-manifest.txt");
}
#endif

// A page signed for another product, or older than the program shows, is refused however valid
// its signature; a page that names no release only by a program that asks for none.
TEST_F(UiManifestTest, OnlyThePageReleaseTheProgramAsksForLoads) {
  const struct {
    const char* manifest;
    UiRelease wanted;
    std::string refusal;
  } cases[] = {
      {kReleaseManifest, {}, ""},
      {kReleaseManifest, {"com.example.product", "2"}, ""},
      {kReleaseManifest,
       {"com.example.product", "2.0.1"},
       "the page is version 2.0, older than 2.0.1, the lowest this program shows"},
      {kReleaseManifest,
       {"com.example.other", ""},
       "ui-manifest.txt is the page of com.example.product, not of com.example.other"},
      {kManifest, {}, ""},
      {kManifest, {"", "1"}, "ui-manifest.txt names no product and page version"},
  };
  for (const auto& c : cases) {
    WriteFile(ui_ / kUiManifestName, c.manifest);
    std::string why;
    EXPECT_EQ(UiManifest::Load(ui_, Bytes(kKey), c.wanted, why).has_value(), c.refusal.empty());
    EXPECT_EQ(why, c.refusal) << c.wanted.product << " " << c.wanted.minVersion;
  }
}

// What is served or mapped is checked as it is read: a file changed after the start is refused.
TEST_F(UiManifestTest, FilesAreCheckedAgainWhenServedOrCopied) {
  std::string why;
  const std::optional<UiManifest> manifest = UiManifest::Load(ui_, Bytes(kKey), why);
  ASSERT_TRUE(manifest) << why;
  const fs::path real = fs::canonical(ui_);
  EXPECT_EQ(manifest->ReadListedFile(real / "js" / "app.js", why), kScript);
  EXPECT_FALSE(manifest->ReadListedFile(real / kUiManifestName, why));

  const fs::path copy = temp_.path() / "copy";
  fs::create_directory(copy);
  ASSERT_TRUE(manifest->CopyTo(copy, why)) << why;
  std::ifstream copied(copy / "js" / "app.js", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), kScript);
  EXPECT_FALSE(fs::exists(copy / kUiManifestName));

  WriteFile(ui_ / "index.html", "<script>changed</script>");
  EXPECT_FALSE(manifest->ReadListedFile(real / "index.html", why));
  EXPECT_EQ(why, "index.html has been changed since it was signed");
  EXPECT_FALSE(manifest->CopyTo(temp_.path(), why));
}

}  // namespace
