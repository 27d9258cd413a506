#include "base/proxy_route.h"

#include <gtest/gtest.h>

namespace {

struct Lookups {
  std::optional<SystemProxy> answer;
  std::vector<std::string> asked;
  ProxyRoute::Lookup Lookup() {
    return [this](const std::string& url) {
      asked.push_back(url);
      return answer;
    };
  }
};

constexpr char kUrl[] = "https://user:pw@store.example:8443/a/b.zip?X-Amz-Signature=secret#f";

TEST(ProxyRouteTest, DirectFirstThenTheSystemsProxyOnceForConnectionsThatCannotBeMade) {
  Lookups lookups;
  lookups.answer = SystemProxy{"http://proxy.example:3128", ""};
  ProxyRoute route(kUrl, lookups.Lookup());
  // The log names the host, never the path, the query or credentials.
  EXPECT_EQ(route.DescribeStart(), "Route to store.example:8443: direct");
  EXPECT_EQ(route.proxy(), nullptr);

  std::string line = "stale";
  // Failures of a connection that was made are not the proxy's business.
  for (const uint32_t made : {12030u, 12175u, 12152u, 407u, 403u}) {
    EXPECT_FALSE(route.FallBack(made, line));
    EXPECT_TRUE(line.empty());
  }
  EXPECT_TRUE(lookups.asked.empty());

  ASSERT_TRUE(route.FallBack(12029, line));
  EXPECT_EQ(line,
            "Route to store.example:8443: the direct connection failed (12029); through the proxy "
            "http://proxy.example:3128");
  EXPECT_EQ(lookups.asked, std::vector<std::string>{kUrl});
  ASSERT_NE(route.proxy(), nullptr);
  EXPECT_EQ(route.proxy()->proxy, "http://proxy.example:3128");
  EXPECT_EQ(route.DescribeCredentialsWanted(),
            "Route to store.example:8443: the proxy http://proxy.example:3128 asks for "
            "credentials (HTTP 407)");

  // Once through the proxy, it stays: a failure there is the proxy's, and is not looked up again.
  EXPECT_FALSE(route.FallBack(12029, line));
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(lookups.asked.size(), 1u);
  EXPECT_NE(route.proxy(), nullptr);
}

TEST(ProxyRouteTest, WithoutASystemProxyTheDirectFailureStands) {
  for (const uint32_t notMade : {12002u, 12007u, 12029u, 10060u, 10061u, 11001u}) {
    Lookups lookups;
    ProxyRoute route("http://10.0.0.1/x", lookups.Lookup());
    std::string line;
    EXPECT_FALSE(route.FallBack(notMade, line));
    EXPECT_EQ(line, "Route to 10.0.0.1: the direct connection failed (" + std::to_string(notMade) +
                        "); the system names no proxy for it");
    EXPECT_EQ(lookups.asked.size(), 1u);
    EXPECT_EQ(route.proxy(), nullptr);
  }
}

}  // namespace
