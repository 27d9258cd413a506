#include "bridge/action_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_environment.h"

namespace {

ActionRegistry::Handler Noop() {
  return [](ActionContext&, const nlohmann::json&) {};
}

TEST(ActionRegistryTest, LookupIgnoresAsciiCaseOnlyAndTheFirstRegistrationWins) {
  ActionRegistry actions;
  actions.Add("doThing", ActionRegistry::Reach::kInProcess, Noop());
  actions.Add("DOTHING", ActionRegistry::Reach::kOutside, Noop());
  actions.Add("caf\xC3\xA9", ActionRegistry::Reach::kInProcess, Noop());

  const ActionRegistry::Action* found = actions.Find("dothing");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "doThing");
  EXPECT_EQ(found->reach, ActionRegistry::Reach::kInProcess);
  EXPECT_NE(actions.Find("CAF\xC3\xA9"), nullptr);
  EXPECT_EQ(actions.Find("CAF\xC3\x89"), nullptr);  // non-ASCII bytes must match exactly
  for (const char* unknown : {"", "doThin", "doThing ", "do Thing", "noSuchAction"}) {
    EXPECT_EQ(actions.Find(unknown), nullptr) << unknown;
  }
}

// Every action of the page contract is registered exactly once by the host, and only those
// that reach outside the process say so (the fuzzer relies on it to skip them).
TEST(ActionRegistryTest, TheHostRegistersEachContractActionOnce) {
  HostHarness h;
  std::vector<std::string> names;
  std::vector<std::string> outside;
  for (const ActionRegistry::Action& action : h.host->Actions().actions()) {
    names.push_back(action.name);
    if (action.reach == ActionRegistry::Reach::kOutside) outside.push_back(action.name);
  }
  std::sort(names.begin(), names.end());
  std::sort(outside.begin(), outside.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "OpenDevToolsWindow", "doCancel", "doCleanUp", "doClose", "doCloseOverride",
                "doDataExchange", "doDownload", "doFindProduct", "doGetFreeSpace", "doGetLogData",
                "doGetSysInfo", "doLaunchSetup", "doMinimizeWnd", "doOpenProduct",
                "doRestartSystem", "doUnZip", "doWriteLog", "postToTeams"}));
  EXPECT_EQ(outside, (std::vector<std::string>{"doDownload", "doFindProduct", "doLaunchSetup",
                                               "doOpenProduct", "doRestartSystem", "doUnZip",
                                               "postToTeams"}));
}

}  // namespace
