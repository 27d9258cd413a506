#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <utility>

#include "base/utf8_path.h"
#include "bridge/page_callbacks.h"
#include "download/download_engine.h"
#include "support/fault_http_server.h"
#include "support/logger_fixture.h"
#include "trust/built_in_trust.h"

namespace fs = std::filesystem;

namespace {

// SHA-256 of MakeBody(1000).
constexpr char kBodySha256[] = "8EB32FCC8AB561BDD7B308A6576A825B85747DAE79EEEE026A9447DC60AC7D2E";

class DownloadActionTest : public LoggerFixture {
 protected:
  fs::path MakeBody(size_t size) {
    body.clear();
    for (size_t i = 0; i < size; ++i) body.push_back(static_cast<char>((i * 7919) >> 3));
    const fs::path file = files.path() / ("body-" + std::to_string(size));
    std::ofstream(file, std::ios::binary) << body;
    return file;
  }

  void PostDownload(const std::string& id, const std::string& url, const std::string& extra = "") {
    h.Post(R"({"action":"doDownload","callbackId":")" + id + R"(","fetchDownloadConfig":{"url":")" +
           url + R"(","archive_name":"archive.zip")" + extra + "}}");
  }

  // The completion for `id`, after pumping until it arrives. Generous: Wine's transfer service
  // takes about 30 s to cancel a job whose server has stalled (Windows' cancels at once).
  nlohmann::json CompletionFor(const std::string& id) {
    nlohmann::json found;
    EXPECT_TRUE(h.PumpUntil(
        [&] {
          for (const PageCallback& c : h.Completions()) {
            if (c.payload["cbid"] == id) found = c.payload;
          }
          return !found.is_null();
        },
        60000));
    return found;
  }

  static std::string FileContent(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TemporaryFolder files;
  std::string body;
  HostHarness h;
};

TEST_F(DownloadActionTest, DownloadsIntoAFreshWorkingFolderAndAnswersWithItsPath) {
  FaultHttpServer server({"--body-file", MakeBody(700'000).string()});
  PostDownload("d1", server.Url("/a.zip"));
  const nlohmann::json done = CompletionFor("d1");

  ASSERT_EQ(done["result"], 0) << done;
  EXPECT_EQ(done["name"], "UtlDwldFile");
  EXPECT_EQ(done["jsp"], "onDownloadProgress");
  ASSERT_EQ(h.host->WorkingFolders().size(), 1u);
  const fs::path folder = h.host->WorkingFolders()[0];
  EXPECT_EQ(folder.parent_path(), h.temp.path());
  const std::string folderName = folder.filename().string();
  EXPECT_EQ(folderName.size(), 38u);
  EXPECT_EQ(folderName.front(), '{');
  const nlohmann::json answer = nlohmann::json::parse(done["message"].get<std::string>());
  EXPECT_EQ(done["message"], R"({"des":")" + h.host->WorkingFolders()[0] +
                                 R"(/archive.zip","url":")" + server.Url("/a.zip") + R"("})");
  EXPECT_EQ(FileContent(answer["des"].get<std::string>()), body);
  for (const PageCallback& c : h.Callbacks()) {
    if (c.function == "onActionProgress") {
      EXPECT_EQ(c.payload["jsp"], "onDownloadProgress");
      EXPECT_EQ(c.payload["cbid"], "d1");
    }
  }
  EXPECT_EQ(EntriesAt("DEBUG", "Download requested ")[0].message,
            "Download requested url=" + server.Url("/a.zip") + ", file=archive.zip");
}

TEST_F(DownloadActionTest, MalformedRequestsTouchNothing) {
  h.Post(R"({"action":"doDownload","callbackId":"x"})");
  h.Post(R"({"action":"doDownload","callbackId":"y","fetchDownloadConfig":{"url":5}})");
  h.Post(R"({"action":"doDownload","callbackId":"z","fetchDownloadConfig":[]})");
  EXPECT_EQ(h.host->DownloadWorker(), nullptr);
  EXPECT_TRUE(h.host->WorkingFolders().empty());
  for (const PageCallback& c : h.Completions()) EXPECT_NE(c.payload["cbid"], "x");
}

TEST_F(DownloadActionTest, ArchiveNamesThatLeaveTheWorkingFolderAreRefused) {
  FaultHttpServer server({"--body-file", MakeBody(100).string()});
  const std::string outside = (files.path() / "escaped.zip").string();
  int n = 0;
  for (const std::string& name : {std::string("../escaped.zip"), outside, std::string("")}) {
    const std::string id = "n" + std::to_string(n++);
    // Built as JSON: a Windows path is full of backslashes.
    const nlohmann::json message = {
        {"action", "doDownload"},
        {"callbackId", id},
        {"fetchDownloadConfig", {{"url", server.Url("/a.zip")}, {"archive_name", name}}}};
    h.Post(message.dump());
    const nlohmann::json done = CompletionFor(id);
    EXPECT_EQ(done["result"], 87);
    EXPECT_EQ(done["message"], "Invalid archive name: " + name);
  }
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_FALSE(fs::exists(h.temp.path() / "escaped.zip"));
  EXPECT_EQ(h.host->WorkingFolders().size(), 3u);
  EXPECT_TRUE(server.Requests().empty());
}

// The name is UTF-8 from the page: the file on disk and the path given back carry it whole,
// in any script.
TEST_F(DownloadActionTest, ArchiveNamesInEveryScriptKeepTheirLetters) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  int n = 0;
  for (const char* name : {"Donn\u00e9es.zip", "\u88fd\u54c1.zip", "\U0001F4E6 box.zip"}) {
    const std::string id = "u" + std::to_string(n++);
    const nlohmann::json message = {
        {"action", "doDownload"},
        {"callbackId", id},
        {"fetchDownloadConfig", {{"url", server.Url("/a.zip")}, {"archive_name", name}}}};
    h.Post(message.dump());
    const nlohmann::json done = CompletionFor(id);
    ASSERT_EQ(done["result"], 0) << done;
    const std::string des =
        nlohmann::json::parse(done["message"].get<std::string>())["des"].get<std::string>();
    EXPECT_EQ(des, h.host->WorkingFolders().back() + "/" + name);
    const fs::path file = PathFromUtf8(h.host->WorkingFolders().back()) / PathFromUtf8(name);
    EXPECT_EQ(FileContent(file), body) << des;
  }
}

TEST_F(DownloadActionTest, ASecondDownloadReplacesAndCancelsTheFirst) {
  FaultHttpServer stalled({"--body-file", MakeBody(100'000).string(), "--stall-after", "1000"});
  PostDownload("first", stalled.Url("/slow.zip"));
  const std::weak_ptr<PageWorker> firstEngine = h.host->DownloadWorker();
  ASSERT_TRUE(h.PumpUntil([&] { return !stalled.Requests().empty(); }));
  EXPECT_TRUE(h.host->IsBusy());

  FaultHttpServer server({"--body-file", MakeBody(50'000).string()});
  PostDownload("second", server.Url("/b.zip"));
  EXPECT_EQ(CompletionFor("first")["result"], 1602);
  const nlohmann::json second = CompletionFor("second");
  EXPECT_EQ(second["result"], 0);
  ASSERT_EQ(h.host->WorkingFolders().size(), 2u);
  EXPECT_EQ(FileContent(h.host->WorkingFolders()[1] + "/archive.zip"), body);
  // The replaced engine went away with its worker.
  EXPECT_TRUE(h.PumpUntil([&] { return firstEngine.expired(); }));
}

TEST_F(DownloadActionTest, CancelFromThePageEndsADirectTransfer) {
  FaultHttpServer stalled({"--body-file", MakeBody(100'000).string(), "--stall-after", "1000"});
  const std::string url = stalled.Url("/b.s3.amazonaws.com/k.zip?X-Amz-Algorithm=AWS4&q=a%2Fb");
  PostDownload("d", url);
  ASSERT_TRUE(h.PumpUntil([&] { return !stalled.Requests().empty(); }));
  EXPECT_EQ(stalled.Requests()[0]["target"],
            "/b.s3.amazonaws.com/k.zip?X-Amz-Algorithm=AWS4&q=a%2Fb");
  h.Post(R"({"action":"doCancel","callbackId":"c"})");
  const nlohmann::json done = CompletionFor("d");
  EXPECT_EQ(done["result"], 1602);
  EXPECT_EQ(done["message"], "");
  EXPECT_EQ(EntriesAt("DEBUG", "WinHTTP fallback starting").size(), 1u);
  EXPECT_TRUE(h.PumpUntil([&] { return !h.host->IsBusy(); }));
}

TEST_F(DownloadActionTest, IntegrityFiguresFromThePage) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  PostDownload("bad", server.Url("/a.zip"), R"(,"size":999)");
  const nlohmann::json bad = CompletionFor("bad");
  EXPECT_EQ(bad["result"], 24);
  EXPECT_NE(bad["message"].get<std::string>().find("incomplete or corrupt"), std::string::npos);
  EXPECT_FALSE(fs::exists(h.host->WorkingFolders()[0] + "/archive.zip"));

  // sha256 of the 1000-byte body, upper case accepted.
  PostDownload("good", server.Url("/a.zip"),
               R"(,"size":1000,"sha256":")" + std::string(kBodySha256) + R"(")");
  EXPECT_EQ(CompletionFor("good")["result"], 0);
}

// A program built without a key takes downloads as it always has, whatever signature the page
// names (a keyed program is tested end to end, tests/e2e).
TEST_F(DownloadActionTest, WithoutABuiltInKeySignaturesAreIgnored) {
  ASSERT_TRUE(BuiltInArchiveKey().empty());
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  FaultHttpServer signatures({"--status", "404"});
  PostDownload(
      "d", server.Url("/a.zip"),
      R"(,"signature":"not base64!","signature_url":")" + signatures.Url("/a.zip.sig") + R"(")");
  EXPECT_EQ(CompletionFor("d")["result"], 0);
  EXPECT_TRUE(signatures.Requests().empty());
}

TEST_F(DownloadActionTest, MalformedIntegrityFiguresAreAnsweredAndFetchNothing) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  const std::pair<std::string, std::string> cases[] = {
      {R"("size":null)", "Invalid size: null"},
      {R"("size":-5)", "Invalid size: -5"},
      {R"("size":1000.5)", "Invalid size: 1000.5"},
      {R"("size":1000,"sha256":"xyz")", R"(Invalid sha256: "xyz")"},
      {R"("sha256":12)", "Invalid sha256: 12"},
      {R"("resume":"no")", R"(Invalid resume: "no")"},
      {R"("connections":0)", "Invalid connections: 0"},
      {R"("connections":17)", "Invalid connections: 17"},
      {R"("connections":0.9)", "Invalid connections: 0.9"},
      {R"("connections":false)", "Invalid connections: false"},
      {R"("connections":"4")", R"(Invalid connections: "4")"},
  };
  int n = 0;
  for (const auto& [members, text] : cases) {
    const std::string id = "i" + std::to_string(n++);
    PostDownload(id, server.Url("/a.zip"), "," + members);
    const nlohmann::json done = CompletionFor(id);
    EXPECT_EQ(done["result"], 87) << members;
    EXPECT_EQ(done["message"], text);
  }
  EXPECT_TRUE(server.Requests().empty());
}

// connections is an integer member as any other: a fraction is cut toward zero, true is 1.
TEST_F(DownloadActionTest, ConnectionsAreReadAsEveryIntegerMember) {
  FaultHttpServer server({"--body-file", MakeBody(1000).string()});
  int n = 0;
  for (const char* connections : {"2.0", "2.5", "true", "16.9"}) {
    const std::string id = "c" + std::to_string(n++);
    PostDownload(id, server.Url("/a.zip"), std::string(R"(,"connections":)") + connections);
    EXPECT_EQ(CompletionFor(id)["result"], 0) << connections;
  }
}

// A doClose that finds no download running destroys the window: the completion must be posted
// before the engine stops counting as busy, or it is lost with the window.
TEST_F(DownloadActionTest, TheCompletionIsPostedWhileTheHostIsStillBusy) {
  auto engine = std::make_shared<DownloadEngine>();
  engine->rejectedBecause = "ends at once";
  std::atomic<bool> busyAfterPosting{false};
  engine->onComplete = [&](const CallbackPayload& payload) {
    h.responder().Complete(payload);
    busyAfterPosting = h.host->IsBusy();
  };
  h.host->DownloadWorker() = engine;
  ASSERT_TRUE(engine->StartDownload(u"", h.temp.path() / "a.zip", "d"));
  EXPECT_EQ(CompletionFor("d")["result"], 87);
  ASSERT_TRUE(h.PumpUntil([&] { return !h.host->IsBusy(); }));
  EXPECT_TRUE(busyAfterPosting);
}

}  // namespace
