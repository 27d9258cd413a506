// The direct transfer where WinHTTP and the Windows file system give answers of their own.
#include <gtest/gtest.h>

#include "download/transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSignedTarget[] = "/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=A";

class DirectTransferWinHttpTest : public TransferFixture {};

// Windows' client (and Wine's) calls a connection closed before any answer an invalid response,
// an error the retry rule ends at once.
TEST_F(DirectTransferWinHttpTest, AConnectionDroppedBeforeAnyAnswerFailsAtOnce) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string(), "--refuse-first", "1"});
  EXPECT_EQ(Download(server.Url(kSignedTarget)).result, 12152u);
  EXPECT_TRUE(clock.Pauses().empty());
  EXPECT_FALSE(fs::exists(Destination()));
}

TEST_F(DirectTransferWinHttpTest, AFileThatCannotBeCreatedFailsWithItsError) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string()});
  fs::create_directories(Destination());  // a folder where the archive should go
  EXPECT_EQ(Download(server.Url(kSignedTarget)).result, 5u);  // ERROR_ACCESS_DENIED
  EXPECT_TRUE(fs::is_directory(Destination()));
}

}  // namespace
