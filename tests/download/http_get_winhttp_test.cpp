// The direct transfer where WinHTTP and the Windows file system give answers of their own.
#include <gtest/gtest.h>

#include "download/transfer_fixture.h"

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

TEST_F(DirectTransferWinHttpTest, AFileThatCannotBeCreatedFailsWithItsError) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string()});
  fs::create_directories(Destination());  // a folder where the archive should go
  EXPECT_EQ(Download(server.Url(kSignedTarget)).result, 5u);  // ERROR_ACCESS_DENIED
  EXPECT_TRUE(fs::is_directory(Destination()));
}

}  // namespace
