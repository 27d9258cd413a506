// doRestartSystem through the restart seam: a fake restart stands in for the system's, so these
// tests never restart the machine.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "app/setup_web_view.h"
#include "bridge/action_registry.h"
#include "install/install_actions.h"
#include "install/system_restart.h"
#include "support/logger_fixture.h"

using nlohmann::json;

namespace {

class FakeRestart : public SystemRestart {
 public:
  uint32_t Request(std::string& detail) override {
    ++calls;
    onWindowThread = std::this_thread::get_id() == windowThread;
    detail = refusal;
    return result;
  }
  std::atomic<int> calls{0};
  std::atomic<bool> onWindowThread{false};
  std::thread::id windowThread = std::this_thread::get_id();
  uint32_t result = 0;
  std::string refusal;
};

class RestartActionTest : public LoggerFixture {
 protected:
  RestartActionTest() { RegisterInstallActions(actions, restart); }

  // Runs the action as the dispatcher would and waits for its answer from the worker.
  json Restart() {
    const size_t before = h.Completions().size();
    actions.Find("doRestartSystem")
        ->run(*h.host, json{{"action", "doRestartSystem"}, {"callbackId", "r"}});
    EXPECT_TRUE(h.PumpUntil([&] { return h.Completions().size() > before; }));
    const auto completions = h.Completions();
    return completions.empty() ? json() : completions.back().payload;
  }

  HostHarness h;
  std::shared_ptr<FakeRestart> restart = std::make_shared<FakeRestart>();
  ActionRegistry actions;
};

TEST_F(RestartActionTest, AcceptedOrRefusedTheAnswerSaysSoWithoutHoldingTheWindow) {
  h.host->Setups().restartWanted = true;
  const json accepted = Restart();
  EXPECT_EQ(accepted["cbid"], "r");
  EXPECT_EQ(accepted["result"], 0);
  EXPECT_EQ(restart->calls, 1);
  // The system may wait for the user's confirmation: never on the window thread.
  EXPECT_FALSE(restart->onWindowThread);

  restart->result = 1314;
  restart->refusal = "A required privilege is not held by the client.";
  h.host->Setups().restartRequested = false;
  const json refused = Restart();
  EXPECT_EQ(refused["result"], 1314);
  EXPECT_EQ(refused["message"],
            "The system did not restart: A required privilege is not held by the client.");
  EXPECT_EQ(EntriesAt("ERROR",
                      "The system did not restart: A required privilege is not held by the "
                      "client. error=1314")
                .size(),
            1u);
}

TEST_F(RestartActionTest, OnlyTheRestartASetupAskedForOnce) {
  const json unasked = Restart();
  EXPECT_EQ(unasked["result"], 65603);
  h.host->Setups().restartWanted = true;
  EXPECT_EQ(Restart()["result"], 0);
  EXPECT_EQ(Restart()["result"], 65603);
  EXPECT_EQ(restart->calls, 1);
}

TEST_F(RestartActionTest, WorkStillRunningIsNotCutShort) {
  h.host->CleaningUp()->store(true);
  const json answer = Restart();
  h.host->CleaningUp()->store(false);
  EXPECT_EQ(answer["result"], 170);
  EXPECT_EQ(restart->calls, 0);
}

}  // namespace
