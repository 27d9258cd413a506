// Linux only: WinHTTP reads a connection closed before any answer as an invalid response
// (12152), which the retry rule does not retry; libcurl reports that the connection broke.
#include <gtest/gtest.h>

#include "download/transfer_fixture.h"

namespace {

class DirectTransferCurlTest : public TransferFixture {};

TEST_F(DirectTransferCurlTest, ConnectionsDroppedBeforeAnyAnswerAreRetriedUntilServed) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string(), "--refuse-first", "6"});
  ASSERT_EQ(Download(server.Url("/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=A")).result, 0u);
  EXPECT_EQ(clock.Pauses(), (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000}));
  EXPECT_TRUE(FileContent(Destination()) == body);
}

}  // namespace
