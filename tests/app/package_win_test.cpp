// The package for vendors, as a vendor unpacks it: its files, and the program run from it under
// Wine, with the fake runtime in place of the real loader it ships.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "base/utf8_path.h"
#include "program_runner_win.h"

namespace {

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PackageTest, HoldsTheProgramItsLoaderAndPageAndRunsFromWhereItIsUnpacked) {
  // package_signing_test.sh runs this test again on the package it signed.
  const char* const other = std::getenv("VLM_PACKAGE_UNDER_TEST");
  const std::filesystem::path zip =
      other != nullptr ? PathFromUtf8(other) : std::filesystem::path(VLM_WINDOWS_PACKAGE);
  ASSERT_TRUE(std::filesystem::exists(zip)) << zip;
  std::cout << "[ package  ] " << PathToUtf8(zip) << ": " << std::filesystem::file_size(zip)
            << " bytes\n";

  TemporaryFolder unpacked;
  const std::vector<std::string> names = Unzip(zip, unpacked.path());
  for (const char* expected : {"quillfetch.exe", "WebView2Loader.dll", "WebView2Loader.LICENSE.txt",
                               "README.txt", "UI/index.html", "UI/config.json"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  // The loader of the pinned SDK, unchanged.
  EXPECT_EQ(Bytes(unpacked.path() / "WebView2Loader.dll"),
            Bytes(TestProgramFolder() / "real_runtime" / "WebView2Loader.dll"));

  const nlohmann::json page = {{"onPageLoaded", {{{"post", {{"action", "doCloseOverride"}}}}}}};
  ProgramFolder folder(TestProgramFolder() / "fake_runtime" / "WebView2Loader.dll", page, false,
                       zip);
  Program program(folder.exe());
  ASSERT_TRUE(program.started());
  EXPECT_EQ(program.WaitForExit(), 0u) << folder.Record().dump();
  const auto mapping = folder.Calls("SetVirtualHostNameToFolderMapping");
  ASSERT_EQ(mapping.size(), 1u);
  EXPECT_TRUE(std::filesystem::equivalent(PathFromUtf8(mapping[0]["folder"].get<std::string>()),
                                          folder.path() / "UI"));
}

}  // namespace
