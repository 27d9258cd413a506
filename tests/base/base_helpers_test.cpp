#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "base/clock.h"
#include "base/environment.h"
#include "base/hex_string.h"
#include "base/working_folder.h"
#include "support/test_environment.h"

TEST(ToHexStringTest, UpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(ToHexString(0), "0x0");
  EXPECT_EQ(ToHexString(0x1A), "0x1A");
  EXPECT_EQ(ToHexString(0x80070005), "0x80070005");
  EXPECT_EQ(ToHexString(0xFFFFFFFF), "0xFFFFFFFF");
  EXPECT_EQ(ToHexString(0x00010000), "0x10000");
}

TEST(WorkingFolderTest, GuidNamesAreFreshRegistryForm) {
  EXPECT_EQ(FormatRegistryGuid({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA,
                                0x98, 0x76, 0x54, 0x32, 0x10}),
            "{01234567-89AB-CDEF-FEDC-BA9876543210}");
  const std::regex form(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string name = NewGuidFolderName();
    EXPECT_TRUE(std::regex_match(name, form)) << name;
    seen.insert(name);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(EnvironmentTest, BoundedReadCountsUtf16UnitsWithTerminator) {
  ScopedEnvironmentVariable unset("VLM_TEST_VAR", std::nullopt);
  EXPECT_FALSE(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 4));
  {
    ScopedEnvironmentVariable empty("VLM_TEST_VAR", "");
    EXPECT_FALSE(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 4));
    EXPECT_EQ(ReadEnvironmentVariable("VLM_TEST_VAR"), "");
  }
  {
    ScopedEnvironmentVariable fits("VLM_TEST_VAR", "abc");
    EXPECT_EQ(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 4), "abc");
    EXPECT_FALSE(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 3));
  }
  {
    // Two bytes of UTF-8 are one UTF-16 unit; an emoji is two.
    ScopedEnvironmentVariable wide("VLM_TEST_VAR", "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_TRUE(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 4));
    EXPECT_FALSE(ReadBoundedEnvironmentVariable("VLM_TEST_VAR", 3));
  }
}

// The runtime's variables go in any letter case (Windows matches names so); a name that only
// contains the prefix, or lacks its underscore, is another program's and stays.
TEST(EnvironmentTest, RemovingByPrefixTakesEveryCaseAndNothingElse) {
  ScopedEnvironmentVariable upper("WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", "C:\\evil");
  ScopedEnvironmentVariable lower("webview2_additional_browser_arguments",
                                  "--remote-debugging-port=1");
  ScopedEnvironmentVariable inside("MY_WEBVIEW2_SETTING", "kept");
  ScopedEnvironmentVariable bare("WEBVIEW2", "kept");
  std::set<std::string> removed;
  for (const std::string& name : RemoveEnvironmentVariablesStartingWith("WEBVIEW2_")) {
    removed.insert(name);
  }
  EXPECT_EQ(removed, (std::set<std::string>{"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER",
                                            "webview2_additional_browser_arguments"}));
  EXPECT_EQ(ReadEnvironmentVariable("WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"), std::nullopt);
  EXPECT_EQ(ReadEnvironmentVariable("webview2_additional_browser_arguments"), std::nullopt);
  EXPECT_EQ(ReadEnvironmentVariable("MY_WEBVIEW2_SETTING"), "kept");
  EXPECT_EQ(ReadEnvironmentVariable("WEBVIEW2"), "kept");
}

TEST(SystemClockTest, WaitEndsEarlyOnCancel) {
  std::atomic<bool> cancel{true};
  const auto start = SystemClock().Now();
  EXPECT_FALSE(SystemClock().WaitFor(std::chrono::seconds(30), &cancel));
  EXPECT_LT(SystemClock().Now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(SystemClock().WaitFor(std::chrono::milliseconds(1), nullptr));
}
