#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_environment.h"

// The program file that the launcher tests copy under the names they need: launch_probe (see
// launch_probe.cpp), built beside the test executable.
std::filesystem::path LaunchProbePath();

// doLaunchSetup through a HostHarness, with programs placed in a folder of the test's own.
class LaunchActionTest : public ::testing::Test {
 protected:
  LaunchActionTest();

  // Copies `source` (the probe by default) to `relative` (UTF-8) under `dir`.
  std::filesystem::path Place(const std::string& relative,
                              const std::filesystem::path& source = LaunchProbePath());
  // Posts doLaunchSetup and returns the completion's payload.
  nlohmann::json Launch(nlohmann::json message);
  uint32_t LaunchResult(const std::string& launcherName);
  // The window was hidden for the launch and shown again before the answer was posted.
  void ExpectHiddenThenShown();
  // "LEVEL message" of every Engine.AppLauncher line logged so far.
  static std::vector<std::string> LauncherLogLines();

  HostHarness h;
  std::filesystem::path dir = h.temp.path() / "unzipped";
};
