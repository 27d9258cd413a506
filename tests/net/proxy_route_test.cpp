#include "net/proxy_route.h"

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
  ProxyRoute route(kUrl, lookups.Lookup(), nullptr);
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
    ProxyRoute route("http://10.0.0.1/x", lookups.Lookup(), nullptr);
    std::string line;
    EXPECT_FALSE(route.FallBack(notMade, line));
    EXPECT_EQ(line, "Route to 10.0.0.1: the direct connection failed (" + std::to_string(notMade) +
                        "); the system names no proxy for it");
    EXPECT_EQ(lookups.asked.size(), 1u);
    EXPECT_EQ(route.proxy(), nullptr);
  }
}

// After direct and the user's proxy, the machine's default one: taken where the user's names
// none or cannot be reached, never twice the same proxy, and never after a refusal.
TEST(ProxyRouteTest, TheMachinesDefaultProxyComesLast) {
  const SystemProxy users{"http://user.example:3128", ""};
  const SystemProxy machines{"http://machine.example:8080", "<local>"};
  struct Case {
    const char* name;
    std::optional<SystemProxy> user;
    std::optional<SystemProxy> machine;
    std::vector<uint32_t> failures;  // one after another, each on the route then in use
    std::vector<bool> retries;
    std::optional<SystemProxy> endsWith;
    std::string lastLine;  // of the last decision made
  };
  const std::vector<Case> cases = {
      {"only the machine names one",
       std::nullopt,
       machines,
       {12029, 12029},
       {true, false},
       machines,
       "Route to store.example:8443: the direct connection failed (12029); through the "
       "machine's default proxy http://machine.example:8080"},
      {"the user's cannot be reached",
       users,
       machines,
       {12007, 12029, 12029},
       {true, true, false},
       machines,
       "Route to store.example:8443: the proxy http://user.example:3128 could not be reached "
       "(12029); through the machine's default proxy http://machine.example:8080"},
      {"the same proxy is not tried twice", users, users, {12029, 12029}, {true, false}, users, ""},
      {"a refusal is no reason to go elsewhere",
       users,
       machines,
       {12029, 407},
       {true, false},
       users,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Lookups user;
    user.answer = c.user;
    Lookups machine;
    machine.answer = c.machine;
    ProxyRoute route(kUrl, user.Lookup(), machine.Lookup());
    std::string line;
    std::string lastDecision;
    for (size_t i = 0; i < c.failures.size(); ++i) {
      EXPECT_EQ(route.FallBack(c.failures[i], line), c.retries[i]) << i;
      if (!line.empty()) lastDecision = line;
    }
    if (!c.lastLine.empty()) {
      EXPECT_EQ(lastDecision, c.lastLine);
    }
    ASSERT_NE(route.proxy(), nullptr);
    EXPECT_EQ(*route.proxy(), *c.endsWith);
    EXPECT_LE(machine.asked.size(), 1u);
  }
}

// Extra connections of one download start where the first one's route ended.
TEST(ProxyRouteTest, AnAdoptedDecisionIsNotMadeAgain) {
  Lookups user;
  user.answer = SystemProxy{"http://user.example:3128", ""};
  ProxyRoute first(kUrl, user.Lookup(), nullptr);
  std::string line;
  ASSERT_TRUE(first.FallBack(12029, line));
  Lookups other;
  ProxyRoute second(kUrl, other.Lookup(), nullptr);
  second.Adopt(first);
  ASSERT_NE(second.proxy(), nullptr);
  EXPECT_EQ(second.proxy()->proxy, "http://user.example:3128");
  EXPECT_FALSE(second.FallBack(12029, line));
  EXPECT_TRUE(other.asked.empty());
}

TEST(ProxyFromEnvironmentTextTest, TheSchemesVariableElseAllProxyUnlessExcepted) {
  const std::string text =
      "# machine-wide\n"
      "PATH=\"/usr/bin\"\n"
      "HTTPS_PROXY=\"http://secure.example:3128\"\n"
      "export http_proxy='http://plain.example:8080'\n"
      "no_proxy=localhost,.corp.example, 10.1.2.3\n";
  struct Case {
    const char* url;
    std::optional<std::string> proxy;
  };
  for (const Case& c : std::vector<Case>{
           {"https://files.example/a.zip", "http://secure.example:3128"},
           {"http://files.example/a.zip", "http://plain.example:8080"},
           {"https://build.corp.example:8443/a.zip", std::nullopt},
           {"https://corp.example/a.zip", std::nullopt},
           {"https://notcorp.example/a.zip", "http://secure.example:3128"},
           {"http://10.1.2.3/a.zip", std::nullopt},
           {"http://LOCALHOST:8080/a.zip", std::nullopt},
       }) {
    SCOPED_TRACE(c.url);
    const std::optional<SystemProxy> found = ProxyFromEnvironmentText(text, c.url);
    EXPECT_EQ(found ? std::optional<std::string>(found->proxy) : std::nullopt, c.proxy);
  }
  EXPECT_EQ(ProxyFromEnvironmentText("all_proxy=socks5h://s.example:1080\n", "https://a/b")->proxy,
            "socks5h://s.example:1080");
  EXPECT_FALSE(ProxyFromEnvironmentText("https_proxy=\nno_proxy=*\n", "https://a/b"));
  EXPECT_FALSE(ProxyFromEnvironmentText("https_proxy=http://p:1\nno_proxy=*\n", "https://a/b"));
}

}  // namespace
