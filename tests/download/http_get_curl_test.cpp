// Linux only: libcurl hands over what each socket read returned (about 16 KiB), and the
// transfer gathers those into whole 256 KiB blocks, one progress report each. WinHTTP reads a
// connection closed before any answer as an invalid response (12152), which the retry rule does not
// retry; libcurl reports that the connection broke. And WinHTTP refuses a redirect from https to
// http by itself; libcurl is told to.
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include "download/transfer_fixture.h"
#include "net/curl_support_curl.h"

namespace fs = std::filesystem;

namespace {

class DirectTransferCurlTest : public TransferFixture {};

TEST_F(DirectTransferCurlTest, ConnectionsDroppedBeforeAnyAnswerAreRetriedUntilServed) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string(), "--refuse-first", "6"});
  ASSERT_EQ(Download(server.Url("/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=A")).result, 0u);
  EXPECT_EQ(clock.Pauses(), (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 30000}));
  EXPECT_TRUE(FileContent(Destination()) == body);
}

// A failed transfer removes the file it made, never what stood in its way.
TEST_F(DirectTransferCurlTest, AFileThatCannotBeCreatedFailsAndWhatIsInTheWayStays) {
  FaultHttpServer server({"--body-file", MakeBody(5000).string()});
  fs::create_directories(Destination());  // a folder where the archive should go
  EXPECT_EQ(Download(server.Url("/b.s3.amazonaws.com/a.zip?X-Amz-Algorithm=A")).result,
            29u);  // ERROR_WRITE_FAULT: POSIX has no closer number for "is a directory"
  EXPECT_TRUE(fs::is_directory(Destination()));
}

// libcurl trusts only the system's certificates, so this case sends its request with the
// transfers' own options plus the test's certificate rather than through a transfer.
TEST_F(DirectTransferCurlTest, HttpsDoesNotFollowARedirectToHttp) {
  const fs::path cert = folder.path() / "cert.pem";
  const fs::path key = folder.path() / "key.pem";
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key.string() + "' -out '" + cert.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << "the openssl command is needed";
  const fs::path bodyFile = MakeBody(1000);
  FaultHttpServer plain({"--body-file", bodyFile.string()});

  const auto fetch = [&](const std::string& redirect) {
    FaultHttpServer secure({"--body-file", bodyFile.string(), "--tls-cert", cert.string(),
                            "--tls-key", key.string(), "--redirect", redirect});
    CurlEasy easy(curl_easy_init());
    SetCommonOptions(easy.get(), "https://127.0.0.1:" + std::to_string(secure.port()) + "/a.zip",
                     nullptr);
    curl_easy_setopt(easy.get(), CURLOPT_CAINFO, cert.c_str());
    curl_easy_setopt(
        easy.get(), CURLOPT_WRITEFUNCTION,
        +[](char*, size_t size, size_t count, void*) { return size * count; });
    const CURLcode code = curl_easy_perform(easy.get());
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    return std::make_pair(code, status);
  };
  // Within https a redirect is followed; to http it is not, and the 302 is the answer.
  EXPECT_EQ(fetch("/mirror/a.zip"), std::make_pair(CURLE_OK, 200L));
  EXPECT_EQ(fetch(plain.Url("/a.zip")), std::make_pair(CURLE_UNSUPPORTED_PROTOCOL, 302L));
  EXPECT_TRUE(plain.Requests().empty());
}

}  // namespace
