// The direct transfer where WinHTTP and the Windows file system give answers of their own.
#include <gtest/gtest.h>

#include <fstream>

#include "download/transfer_fixture.h"
#include "support/system_proxy_setting.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSignedTarget[] = "/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=A";

class DirectTransferWinHttpTest : public TransferFixture {};

// Windows' client calls a connection closed before any answer an invalid response, an error the
// retry rule ends at once. Wine's sometimes sees the close as a reset instead (a socket error,
// which the backend reports as WinHTTP's connection error, retried like on Linux).
TEST_F(DirectTransferWinHttpTest, AConnectionDroppedBeforeAnyAnswerEndsWithoutAFile) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string(), "--refuse-first", "1"});
  const uint32_t result = Download(server.Url(kSignedTarget)).result;
  if (result == 12152u) {
    EXPECT_TRUE(clock.Pauses().empty());
    EXPECT_FALSE(fs::exists(Destination()));
  } else {
    // The retry reaches the server's second connection, which answers.
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(clock.Pauses().size(), 1u);
  }
}

// Settings that name only a configuration script: WinHTTP fetches and runs it, and its answer
// for the URL is the proxy taken once the direct connection is refused.
TEST_F(DirectTransferWinHttpTest, TheProxyOfTheSettingsConfigurationScriptIsTaken) {
  FaultHttpServer proxy({"--body-file", MakeBody(5000).string()});
  const fs::path script = folder.path() / "proxy.pac";
  std::ofstream(script) << "function FindProxyForURL(url, host) {\n"
                        << "  return host == \"127.0.0.2\" ? \"PROXY 127.0.0.1:" << proxy.port()
                        << "\" : \"DIRECT\";\n}\n";
  FaultHttpServer scripts({"--body-file", script.string()});
  const ScopedSystemProxy setting("", "", scripts.Url("/proxy.pac"));
  const std::string unreachable = "http://127.0.0.2:1/a.zip?X-Amz-Signature=s";

  EXPECT_EQ(Download(unreachable).result, 0u);
  EXPECT_TRUE(FileContent(Destination()) == body);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0]["target"], unreachable);
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.2:1: the direct connection failed (12029); "
                      "through the proxy 127.0.0.1:" +
                          std::to_string(proxy.port()))
                .size(),
            1u);
}

TEST_F(DirectTransferWinHttpTest, AFileThatCannotBeCreatedFailsWithItsError) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string()});
  fs::create_directories(Destination());  // a folder where the archive should go
  EXPECT_EQ(Download(server.Url(kSignedTarget)).result, 5u);  // ERROR_ACCESS_DENIED
  EXPECT_TRUE(fs::is_directory(Destination()));
}

}  // namespace
