// doLaunchSetup in a host with the test key built in, and on Windows a publisher: only a program
// from a folder that an extraction of a checked archive filled with 0 is considered, and on
// Windows it is then checked through the handle that is held until it starts.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/setup_web_view.h"
#include "base/utf8_path.h"
#include "install/launch_test_support.h"
#include "install/zip_builder.h"
#include "install/zip_engine.h"
#include "trust/built_in_trust.h"

namespace fs = std::filesystem;

namespace {

struct Verdict final : BytesCheck {
  explicit Verdict(bool accepts) : accepts(accepts) {}
  void Add(const void*, size_t) override {}
  bool Matches(uint64_t) override { return accepts; }
  bool accepts;
};

class KeyedLaunchTest : public LaunchActionTest {
 protected:
  // An extraction, recorded by the host as doUnZip records one of a verified archive, of an
  // archive holding the probe as exit-7.exe; its check accepts the bytes or not.
  fs::path Extract(const std::string& name, bool accepted) {
    const fs::path archive = h.temp.path() / (name + ".zip");
    WriteZip(archive, {ZipFile("bin/exit-7.exe", ReadFileBytes(LaunchProbePath()), 0100755)});
    auto engine = std::make_shared<ZipEngine>();
    engine->archiveCheck = std::make_unique<Verdict>(accepted);
    const fs::path folder = h.temp.path() / name;
    EXPECT_TRUE(engine->Start(PathToUtf8(archive), PathToUtf8(folder), name));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (engine->running.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    h.host->VerifiedExtractions().push_back(engine);
    return folder;
  }

  uint32_t Result(const fs::path& unzipdir, const std::string& launcherName) {
    return Launch({{"unzipdir", PathToUtf8(unzipdir)}, {"launcherName", launcherName}})["result"];
  }
};

TEST_F(KeyedLaunchTest, OnlyAProgramFromAVerifiedExtractionIsStarted) {
  ASSERT_FALSE(BuiltInArchiveKey().empty());
  const fs::path verified = Extract("verified", true);
  const fs::path refused = Extract("refused", false);
  Place("exit-7.exe");

  // 256, nothing started: a folder no extraction made, an absolute name (even one inside the
  // verified folder), an extraction whose archive did not match (its files are gone anyway).
  EXPECT_EQ(Result(dir, "exit-7.exe"), 256u);
  EXPECT_EQ(Result(verified, PathToUtf8(verified / "bin" / "exit-7.exe")), 256u);
  EXPECT_EQ(Result(refused, "bin/exit-7.exe"), 256u);
  EXPECT_FALSE(fs::exists(dir / "seen.txt"));
  ExpectHiddenThenShown();
  // A relative name that leaves the folder keeps its own code.
  EXPECT_EQ(Result(verified / "bin", "../../unzipped/exit-7.exe"), 161u);

  if (BuiltInSetupPublisher().empty()) {
    // Linux: no publisher to ask for; the verified program runs.
    EXPECT_EQ(Result(verified, "bin/exit-7.exe"), 7u);
    EXPECT_EQ(Result(verified, "bin/missing.exe"), 404u);
  } else {
    // Windows: opened once and checked through that handle; the probe is not signed (WinVerifyTrust
    // fails under Wine through the handle as by name, so which one was read it cannot show).
    EXPECT_EQ(Result(verified, "bin/exit-7.exe"), 256u);
    EXPECT_FALSE(fs::exists(verified / "bin" / "seen.txt"));
    EXPECT_EQ(Result(verified, "bin/missing.exe"), 2u);  // the open's own error
  }
}

}  // namespace
