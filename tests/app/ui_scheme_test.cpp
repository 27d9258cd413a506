#include "app/ui_scheme.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/test_environment.h"

namespace fs = std::filesystem;

namespace {

constexpr char kHost[] = "quillfetch.localhost";

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A UI folder with a page, a sub-folder, and neighbours an escape would like to reach.
class UiSchemeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = temp_.path() / "app" / "UI";
    WriteFile(ui_ / "index.html", "<html></html>");
    WriteFile(ui_ / "js" / "app.js", "1;");
    WriteFile(ui_ / "sub" / "index.html", "sub");
    WriteFile(ui_ / "with space.css", "a{}");
    WriteFile(ui_ / "..hidden", "inside after all");
    WriteFile(temp_.path() / "app" / "secret.txt", "outside");
    WriteFile(temp_.path() / "app" / "UI2" / "index.html", "sibling");
    fs::create_directory_symlink(temp_.path() / "app" / "UI2", ui_ / "link-out");
    fs::create_symlink(temp_.path() / "app" / "secret.txt", ui_ / "secret-link.txt");
    fs::create_symlink(ui_ / "js" / "app.js", ui_ / "inner-link.js");
  }

  UiResource Get(const std::string& path, const std::string& host = kHost) {
    return ResolveUiRequest(ui_, host, kHost, path);
  }

  TemporaryFolder temp_;
  fs::path ui_;
};

TEST_F(UiSchemeTest, ServesFilesOfTheFolderWithTheirTypes) {
  UiResource page = Get("/index.html");
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.file, fs::canonical(ui_ / "index.html"));
  EXPECT_EQ(page.mimeType, "text/html; charset=utf-8");
  EXPECT_EQ(Get("/").file, page.file);
  EXPECT_EQ(Get("/sub/").file, fs::canonical(ui_ / "sub" / "index.html"));
  EXPECT_EQ(Get("/js/app.js").mimeType, "text/javascript; charset=utf-8");
  EXPECT_EQ(Get("/with%20space.css").status, 200);
  EXPECT_EQ(Get("/%69ndex.html").status, 200);   // decoded letters are fine
  EXPECT_EQ(Get("/..hidden").status, 200);       // a name that merely starts with dots
  EXPECT_EQ(Get("/inner-link.js").status, 200);  // a link that stays inside
  EXPECT_EQ(Get("/index.html", "QUILLFETCH.localhost").status, 200);
}

TEST_F(UiSchemeTest, RefusesEveryWayOut) {
  const char* escapes[] = {
      "/..",
      "/../secret.txt",
      "/%2e%2e/secret.txt",
      "/%2E%2E/secret.txt",
      "/.%2e/secret.txt",
      "/js/../../secret.txt",
      "/%2e%2e%2fsecret.txt",
      "/..%2Fsecret.txt",
      "/..%5csecret.txt",
      "/%5c..%5csecret.txt",
      "/js%2f..%2f..%2fsecret.txt",
      "/index.html%00.png",
      "/%00",
      "/./index.html",
      "/js//app.js",
      "//secret.txt",
      "index.html",
      "",
      "/secret-link.txt",
      "/link-out/index.html",
      "/%252e%252e/secret.txt",
  };
  for (const char* path : escapes) {
    const UiResource r = Get(path);
    EXPECT_NE(r.status, 200) << path;
    EXPECT_TRUE(r.file.empty()) << path;
  }
  // Each of these is refused outright, not merely missing.
  for (const char* path : {"/%2e%2e/secret.txt", "/..%2Fsecret.txt", "/..%5csecret.txt",
                           "/index.html%00.png", "/secret-link.txt", "/link-out/index.html"}) {
    EXPECT_EQ(Get(path).status, 403) << path;
  }
  // Twice-encoded dots decode once, to a harmless name that does not exist.
  EXPECT_EQ(Get("/%252e%252e/secret.txt").status, 404);
}

TEST_F(UiSchemeTest, RefusesOtherHostsAndAFolderThatOnlySharesAPrefix) {
  EXPECT_EQ(Get("/index.html", "evil.localhost").status, 403);
  EXPECT_EQ(Get("/index.html", "quillfetch.localhost.evil").status, 403);
  EXPECT_EQ(Get("/index.html", "").status, 403);
  // The sibling UI2 passes a textual "starts with .../UI" test; it must not pass this one.
  EXPECT_EQ(ResolveUiRequest(ui_, kHost, kHost, "/../UI2/index.html").status, 403);
  EXPECT_NE(ResolveUiRequest(temp_.path() / "app" / "UI2", kHost, kHost, "/index.html").file,
            fs::path());
}

TEST_F(UiSchemeTest, MissingMalformedAndFolderRequests) {
  EXPECT_EQ(Get("/missing.html").status, 404);
  EXPECT_EQ(Get("/js").status, 404);  // a folder is not a file
  EXPECT_EQ(Get("/bad%zzescape").status, 400);
  EXPECT_EQ(Get("/truncated%2").status, 400);
  EXPECT_EQ(Get("/truncated%").status, 400);
  EXPECT_EQ(ResolveUiRequest(temp_.path() / "no-such-UI", kHost, kHost, "/index.html").status, 404);
}

TEST(UiSchemeUrlTest, MapsOnlyTheUiHostOntoTheScheme) {
  EXPECT_EQ(MapToUiScheme("https://quillfetch.localhost/index.html", kHost),
            "app://quillfetch.localhost/index.html");
  EXPECT_EQ(MapToUiScheme("HTTPS://quillfetch.localhost/a?b#c", kHost),
            "app://quillfetch.localhost/a?b#c");
  EXPECT_EQ(MapToUiScheme("https://quillfetch.localhost.evil/x", kHost),
            "https://quillfetch.localhost.evil/x");
  EXPECT_EQ(MapToUiScheme("http://quillfetch.localhost/x", kHost), "http://quillfetch.localhost/x");
  EXPECT_EQ(MapToUiScheme("https://a@quillfetch.localhost/x", kHost),
            "https://a@quillfetch.localhost/x");
}

TEST(UiSchemeUrlTest, OriginCheckAcceptsOnlyTheUiOrigin) {
  EXPECT_TRUE(IsUiOrigin("app://quillfetch.localhost/index.html", kHost));
  EXPECT_TRUE(IsUiOrigin("APP://Quillfetch.Localhost/", kHost));
  EXPECT_TRUE(IsUiOrigin("app://quillfetch.localhost", kHost));
  EXPECT_TRUE(IsUiOrigin("app://quillfetch.localhost?x", kHost));
  for (const char* foreign :
       {"https://quillfetch.localhost/index.html", "http://127.0.0.1:8080/",
        "app://quillfetch.localhost.evil.com/", "app://quillfetch.localhost:81/",
        "app://evil@quillfetch.localhost/", "app://quillfetch.localhost@evil/",
        "app:quillfetch.localhost/", "app:///quillfetch.localhost/", "about:blank",
        "data:text/html,<p>", "", "app", "application://quillfetch.localhost/"}) {
    EXPECT_FALSE(IsUiOrigin(foreign, kHost)) << foreign;
  }
}

TEST(UiSchemeMimeTest, TypesFollowTheExtensionIgnoringCase) {
  EXPECT_EQ(MimeTypeForFile("a/b.CSS"), "text/css; charset=utf-8");
  EXPECT_EQ(MimeTypeForFile("m.mjs"), "text/javascript; charset=utf-8");
  EXPECT_EQ(MimeTypeForFile("x.svg"), "image/svg+xml; charset=utf-8");
  EXPECT_EQ(MimeTypeForFile("f.woff2"), "font/woff2");
  EXPECT_EQ(MimeTypeForFile("w.wasm"), "application/wasm");
  EXPECT_EQ(MimeTypeForFile("noext"), "application/octet-stream");
  EXPECT_EQ(MimeTypeForFile("archive.js.gz"), "application/octet-stream");
}

}  // namespace
