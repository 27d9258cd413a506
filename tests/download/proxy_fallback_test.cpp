// The direct transfer where no direct connection can be made: through the system's proxy, named
// the way the platform's lookup reads it (support/system_proxy_setting.h). The fault server
// stands in for the proxy: it answers a request for an absolute URL as it answers any other.
// Nothing listens on port 1 of 127.0.0.2, so the direct connection is refused at once.
#include <gtest/gtest.h>

#include "base/page_results.h"
#include "download/download_results.h"
#include "download/transfer_fixture.h"
#include "support/system_proxy_setting.h"

namespace {

// A pre-signed URL: the direct transfer fetches it.
constexpr char kUnreachable[] = "http://127.0.0.2:1/archive.zip?X-Amz-Signature=a%2Fb";

class ProxyFallbackTest : public TransferFixture {
 protected:
  // Every route line, to show in a failure.
  static std::string RouteLines() {
    std::string lines;
    for (const char* level : {"INFO", "ERROR"}) {
      for (const LogEntry& e : EntriesAt(level, "Route to ")) lines += e.message + "\n";
    }
    return lines;
  }

  std::string Proxy(const FaultHttpServer& proxy) const {
    return "127.0.0.1:" + std::to_string(proxy.port());
  }
};

TEST_F(ProxyFallbackTest, ARefusedDirectConnectionGoesOnThroughTheSystemsProxyAndStaysThere) {
  // Cut once: the request for the rest goes through the proxy too, without a direct try.
  FaultHttpServer proxy({"--body-file", MakeBody(300000).string(), "--cut-after", "100000"});
  const ScopedSystemProxy setting(Proxy(proxy), "127.0.0.1");
  const CallbackPayload done = Download(kUnreachable);

  EXPECT_EQ(done.result, 0u) << RouteLines();
  EXPECT_EQ(FileContent(Destination()), body);
  const std::vector<nlohmann::json> requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const nlohmann::json& request : requests) EXPECT_EQ(request["target"], kUnreachable);
  EXPECT_EQ(requests[1]["headers"]["range"], "bytes=100000-");
  EXPECT_EQ(EntriesAt("INFO", "Route to 127.0.0.2:1: ").size(), 2u);  // direct, then the proxy
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.2:1: the direct connection failed (12029); "
                      "through the proxy ")
                .size(),
            1u);
}

TEST_F(ProxyFallbackTest, AProxyThatWantsCredentialsEndsTheDownloadAtOnceWith407) {
  FaultHttpServer proxy({"--status", "407"});
  const ScopedSystemProxy setting(Proxy(proxy), "127.0.0.1");
  const CallbackPayload done = Download(kUnreachable);

  EXPECT_EQ(done.result, page_result::kProxyCredentialsWanted) << RouteLines();
  EXPECT_EQ(done.message, download_text::kProxyCredentialsWanted);
  EXPECT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(EntriesAt("ERROR", "Route to 127.0.0.2:1: the proxy ").size(), 1u);
}

TEST_F(ProxyFallbackTest, WithoutASystemProxyTheDirectFailureStandsAsBefore) {
  const CallbackPayload done = Download(kUnreachable);
  EXPECT_EQ(done.result, page_result::kHttpCannotConnect) << RouteLines();
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.2:1: the direct connection failed (12029); the "
                      "system names no proxy for it")
                .size(),
            1u);
}

}  // namespace
