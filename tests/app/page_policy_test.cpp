// The page policy both web view backends ask (page_policy.h), once for each flavour's UI origin:
// app://quillfetch.localhost on Linux, https://quillfetch.localhost on Windows. The same table
// runs on both platforms' builds, so the two flavours cannot drift apart again.

#include "app/page_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/ui_scheme.h"

namespace {

constexpr std::string_view kHost = "quillfetch.localhost";

struct Flavour {
  std::string_view name;
  std::string_view scheme;  // the UI's
  std::string_view other;   // the other flavour's
};
constexpr Flavour kFlavours[] = {{"Linux", kUiScheme, "https"}, {"Windows", "https", kUiScheme}};

// "$" stands for the flavour's UI scheme, "%" for the other flavour's.
std::string Spell(std::string_view pattern, const Flavour& flavour) {
  std::string url;
  for (const char c : pattern) {
    if (c == '$') {
      url += flavour.scheme;
    } else if (c == '%') {
      url += flavour.other;
    } else {
      url += c;
    }
  }
  return url;
}

PagePolicy PolicyOf(const Flavour& flavour) {
  return PagePolicy(flavour.scheme, kHost);
}

struct DocumentCase {
  std::string_view url;
  bool navigate;  // the page or a frame may go there
  bool message;   // a message it posts reaches the host
};

constexpr DocumentCase kDocuments[] = {
    // The UI origin, in any case.
    {"$://quillfetch.localhost/index.html", true, true},
    {"$://quillfetch.localhost/", true, true},
    {"$://Quillfetch.LocalHost/sub/page.html?a#b", true, true},
    {"$://quillfetch.localhost/index.html#section", true, true},
    // Frames without a source or with inline content (page-contract.md, "Serving"): shown,
    // but they never drive the host.
    {"about:blank", true, false},
    {"about:srcdoc", true, false},
    // Look-alike hosts, ports, user information.
    {"$://quillfetch.localhost.evil.example/", false, false},
    {"$://quillfetch.localhostx/", false, false},
    {"$://quillfetch.localhost:8443/", false, false},
    {"$://quillfetch.localhost@evil.example/", false, false},
    {"$://evil@quillfetch.localhost/", false, false},
    {"$://evil.example/quillfetch.localhost/", false, false},
    {"$:quillfetch.localhost/", false, false},
    {"$:///quillfetch.localhost/", false, false},
    // Other schemes, the other flavour's origin included.
    {"%://quillfetch.localhost/index.html", false, false},
    {"http://quillfetch.localhost/index.html", false, false},
    {"https://example.com/", false, false},
    {"http://127.0.0.1:8080/evil.html", false, false},
    {"file:///C:/Windows/win.ini", false, false},
    {"data:text/html,<p>hi</p>", false, false},
    {"javascript:alert(1)", false, false},
    {"blob:$://quillfetch.localhost/0b7e9d3c", false, false},
    {"about:srcdoc2", false, false},
    {"about:blank.evil", false, false},
    {"", false, false},
};

TEST(PagePolicyTest, DocumentsThePageMayShowAndThoseWhoseMessagesCount) {
  for (const Flavour& flavour : kFlavours) {
    const PagePolicy policy = PolicyOf(flavour);
    for (const DocumentCase& row : kDocuments) {
      const std::string url = Spell(row.url, flavour);
      EXPECT_EQ(policy.MayNavigate(url), row.navigate) << flavour.name << ": " << url;
      EXPECT_EQ(policy.MayDeliverMessage(url), row.message) << flavour.name << ": " << url;
      EXPECT_EQ(policy.IsUiDocument(url), row.message) << flavour.name << ": " << url;
    }
  }
}

TEST(PagePolicyTest, AnOriginWithNothingAfterItsHostIsAUrlOnlyWithoutADefaultPath) {
  // A serialised https URL always has a path ("https://h/"); an app URL may have none.
  EXPECT_TRUE(PagePolicy(kUiScheme, kHost).IsUiDocument("app://quillfetch.localhost"));
  EXPECT_TRUE(PagePolicy(kUiScheme, kHost).IsUiDocument("app://quillfetch.localhost?x"));
  EXPECT_FALSE(PagePolicy("https", kHost).IsUiDocument("https://quillfetch.localhost"));
  EXPECT_FALSE(PagePolicy("https", kHost).IsUiDocument("https://quillfetch.localhost?x"));
}

TEST(PagePolicyTest, BeforeTheFolderIsMappedNothingIsOfTheUi) {
  const PagePolicy unmapped;
  EXPECT_TRUE(unmapped.MayNavigate("about:blank"));
  EXPECT_FALSE(unmapped.MayNavigate("https://quillfetch.localhost/index.html"));
  EXPECT_FALSE(unmapped.MayNavigate("app://quillfetch.localhost/index.html"));
  EXPECT_FALSE(unmapped.MayDeliverMessage("https://quillfetch.localhost/index.html"));
  EXPECT_EQ(unmapped.DecideNewWindow("https://example.com/", true, "about:blank"),
            PagePolicy::NewWindow::kRefuse);
}

struct NewWindowCase {
  std::string_view url;
  bool userInitiated;
  std::string_view shown;  // the page the web view shows
  bool toBrowser;
};

constexpr NewWindowCase kNewWindows[] = {
    // Web links the user followed from the UI page leave for the browser.
    {"https://example.com/licence?from=page#terms", true, "$://quillfetch.localhost/index.html",
     true},
    {"http://example.com/help", true, "$://quillfetch.localhost/sub/page.html", true},
    // ... but not when a script asks on its own, nor from any other page.
    {"https://example.com/licence", false, "$://quillfetch.localhost/index.html", false},
    {"https://example.com/licence", true, "about:blank", false},
    {"https://example.com/licence", true, "https://example.com/", false},
    {"https://example.com/licence", true, "", false},
    // Never the UI itself, this machine, the local network or another scheme.
    {"$://quillfetch.localhost/index.html", true, "$://quillfetch.localhost/index.html", false},
    {"%://quillfetch.localhost/index.html", true, "$://quillfetch.localhost/index.html", false},
    {"https://localhost/", true, "$://quillfetch.localhost/index.html", false},
    {"http://127.1:8080/", true, "$://quillfetch.localhost/index.html", false},
    {"http://169.254.169.254/latest/", true, "$://quillfetch.localhost/index.html", false},
    {"http://[::1]/", true, "$://quillfetch.localhost/index.html", false},
    {"file:///etc/passwd", true, "$://quillfetch.localhost/index.html", false},
    {"javascript:alert(1)", true, "$://quillfetch.localhost/index.html", false},
    {"https://user@example.com/", true, "$://quillfetch.localhost/index.html", false},
    {"about:blank", true, "$://quillfetch.localhost/index.html", false},
};

TEST(PagePolicyTest, NewWindowsOpenInTheBrowserOrNotAtAll) {
  for (const Flavour& flavour : kFlavours) {
    const PagePolicy policy = PolicyOf(flavour);
    for (const NewWindowCase& row : kNewWindows) {
      const std::string url = Spell(row.url, flavour);
      const std::string shown = Spell(row.shown, flavour);
      const PagePolicy::NewWindow expected =
          row.toBrowser ? PagePolicy::NewWindow::kOpenInBrowser : PagePolicy::NewWindow::kRefuse;
      EXPECT_EQ(policy.DecideNewWindow(url, row.userInitiated, shown), expected)
          << flavour.name << ": " << url << " (user " << row.userInitiated << ") from " << shown;
    }
  }
}

}  // namespace

// A page without a <title> leaves the window without a name: the address a runtime shows in its
// stead, in any of the forms runtimes spell it, is no title; a real title, even one that holds
// the address, is kept.
TEST(WindowTitleTest, TheRuntimesStandInForAMissingTitleIsNoName) {
  struct Case {
    std::string_view runtimeTitle;
    std::string_view url;
    std::string_view expected;
  };
  constexpr Case kCases[] = {
      {"Setup of Demo", "https://quillfetch.localhost/index.html", "Setup of Demo"},
      {"", "https://quillfetch.localhost/index.html", ""},
      {"https://quillfetch.localhost/index.html", "https://quillfetch.localhost/index.html", ""},
      {"quillfetch.localhost/index.html", "https://quillfetch.localhost/index.html", ""},
      {"app://quillfetch.localhost/index.html", "app://quillfetch.localhost/index.html", ""},
      {"quillfetch.localhost", "https://quillfetch.localhost/", ""},
      {"quillfetch.localhost/Données.html", "https://quillfetch.localhost/Donn%C3%A9es.html", ""},
      {"about:blank", "about:blank", ""},
      {"index.html", "https://quillfetch.localhost/index.html", "index.html"},
      {"Open quillfetch.localhost/index.html", "https://quillfetch.localhost/index.html",
       "Open quillfetch.localhost/index.html"},
      {"Setup", "", "Setup"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(WindowTitleFor(c.runtimeTitle, c.url), c.expected)
        << c.runtimeTitle << " at " << c.url;
  }
}
