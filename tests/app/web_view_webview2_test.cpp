// The origin rule of the Windows web view: only documents of https://<UI host>/ may post
// messages or be navigated to.

#include "app/web_view_webview2.h"

#include <gtest/gtest.h>

#include "app/setup_web_view.h"

namespace {

TEST(UiHttpsOriginTest, AcceptsOnlyTheUiHostOnTheDefaultPort) {
  EXPECT_TRUE(IsUiHttpsOrigin("https://quillfetch.localhost/index.html", UiVirtualHost));
  EXPECT_TRUE(IsUiHttpsOrigin("HTTPS://Quillfetch.LocalHost/sub/page.html?a#b", UiVirtualHost));
  EXPECT_TRUE(IsUiHttpsOrigin("https://quillfetch.localhost/", UiVirtualHost));

  // Look-alike hosts, other ports and user information.
  EXPECT_FALSE(IsUiHttpsOrigin("https://quillfetch.localhost.example.com/", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("https://quillfetch.localhostx/", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("https://quillfetch.localhost:8443/", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("https://quillfetch.localhost@example.com/", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("https://evil.example/quillfetch.localhost/", UiVirtualHost));
  // Another scheme, a truncated URL, nothing.
  EXPECT_FALSE(IsUiHttpsOrigin("http://quillfetch.localhost/index.html", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("https://quillfetch.localhost", UiVirtualHost));
  EXPECT_FALSE(IsUiHttpsOrigin("", UiVirtualHost));
}

}  // namespace
