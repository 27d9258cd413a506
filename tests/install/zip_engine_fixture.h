#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "install/zip_engine.h"
#include "support/test_environment.h"

// A ZipEngine on its own, with its progress and completion reports recorded, run to its end in
// a temporary folder.
inline std::mutex g_mutex;
inline std::vector<CallbackPayload> g_progress;
inline std::vector<CallbackPayload> g_completions;
inline ZipEngine* g_cancelOnFirstProgress = nullptr;

inline void RecordProgress(const CallbackPayload& p) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_progress.push_back(p);
  if (g_cancelOnFirstProgress != nullptr) g_cancelOnFirstProgress->cancelRequested.exchange(true);
}

inline void RecordCompletion(const CallbackPayload& p) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_completions.push_back(p);
}

class ZipEngineTest : public ::testing::Test {
 protected:
  ZipEngineTest() {
    g_progress.clear();
    g_completions.clear();
    g_cancelOnFirstProgress = nullptr;
    engine->onProgress = &RecordProgress;
    engine->onComplete = &RecordCompletion;
  }
  ~ZipEngineTest() override { g_cancelOnFirstProgress = nullptr; }

  // Runs the engine to its end on `archive` into `dest`.
  void Run(const std::filesystem::path& archive, const std::filesystem::path& dest) {
    ASSERT_TRUE(engine->Start(archive.string(), dest.string(), "z"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (engine->running.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_FALSE(engine->running.load());
    ASSERT_EQ(g_completions.size(), 1u);
  }

  const CallbackPayload& Completion() const { return g_completions.at(0); }

  TemporaryFolder temp;
  std::filesystem::path archive = temp.path() / "a.zip";
  std::filesystem::path dest = temp.path() / "out";
  std::shared_ptr<ZipEngine> engine = std::make_shared<ZipEngine>();
};
