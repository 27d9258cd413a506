#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <thread>

#include "download/download_engine.h"
#include "support/logger_fixture.h"

namespace {

// On a thread of its own, so the apartments the test makes die with it.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread(body).join();
}

class DownloadComTest : public LoggerFixture {};

TEST_F(DownloadComTest, TheWorkerLeavesTheApartmentItEnteredAndNoOther) {
  OnFreshThread([] {
    DownloadEngine engine;
    ASSERT_EQ(engine.InitCom(), kOk);
    EXPECT_TRUE(engine.comInitialized);
    engine.result = 1;  // no file to check
    engine.Finish();
    // Left once for each entry: the thread is outside COM again.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  });

  OnFreshThread([] {
    // A thread already in the multithreaded apartment can still use the service, but that
    // apartment belongs to someone else.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    DownloadEngine engine;
    EXPECT_EQ(engine.InitCom(), kOk);
    EXPECT_FALSE(engine.comInitialized);
    engine.result = 1;
    engine.Finish();
    // Still inside: a second entry is counted (S_FALSE), not a first one (S_OK).
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  });
  EXPECT_TRUE(EntriesAt("ERROR", "CoInitialize").empty());
}

}  // namespace
