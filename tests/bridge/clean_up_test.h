#pragma once

// The clean-up as the page drives it, on real folders: the fixture shared by its tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/utf8_path.h"
#include "support/logger_fixture.h"

namespace fs = std::filesystem;

class CleanUpTest : public LoggerFixture {
 protected:
  // A working folder with a small tree inside; returns its generic path.
  std::string MakeTree(const std::string& name) {
    const fs::path root = h.temp.path() / PathFromUtf8(name);
    fs::create_directories(root / "a" / "b");
    std::ofstream(root / "a" / "b" / "file.bin") << "data";
    std::ofstream(root / "top.txt") << "x";
    return root.generic_string();
  }

  nlohmann::json CleanUpAndWait(const std::string& id) {
    const size_t before = h.Completions().size();
    h.Post(R"({"action":"doCleanUp","callbackId":")" + id + R"("})");
    EXPECT_TRUE(h.PumpUntil([&] { return h.Completions().size() > before; }));
    const auto answer = h.Completions().back().payload;
    EXPECT_EQ(answer["cbid"], id);
    EXPECT_EQ(answer["result"], 0);
    return nlohmann::json::parse(answer["message"].get<std::string>());
  }

  HostHarness h;
};
