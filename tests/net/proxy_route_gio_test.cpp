// GIO's answer as libcurl takes it. Linux only: the variables are what GIO's resolver reads
// outside a desktop session.
#include <gtest/gtest.h>

#include "net/proxy_route.h"
#include "support/test_environment.h"

namespace {

TEST(SystemProxyGioTest, TheProxyVariablesAsLibcurlTakesThemExceptionsIncluded) {
  const ScopedEnvironmentVariable http("http_proxy", "http://proxy.example:3128");
  const ScopedEnvironmentVariable https("https_proxy", "socks5://socks.example:1080");
  const ScopedEnvironmentVariable none("no_proxy", "skip.example");
  const ScopedEnvironmentVariable all("all_proxy", std::nullopt);

  const std::optional<SystemProxy> plain = SystemProxyForUrl("http://a.example/x.zip?q=1");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->proxy, "http://proxy.example:3128");
  // GIO's SOCKS 5 resolves names at the proxy; libcurl's "socks5h" does the same.
  const std::optional<SystemProxy> secure = SystemProxyForUrl("https://a.example/x.zip");
  ASSERT_TRUE(secure);
  EXPECT_EQ(secure->proxy, "socks5h://socks.example:1080");
  EXPECT_FALSE(SystemProxyForUrl("http://skip.example/x.zip"));
}

}  // namespace
