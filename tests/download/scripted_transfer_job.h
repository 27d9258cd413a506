#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/transfer_job.h"

// A transfer job that plays a list of polls. The test owns the JobScript; the job the loop
// creates reads and records through it, so the record outlives the job.
struct ScriptedPoll {
  uint32_t state = 0;
  TransferJobProgress progress{};
  HResult stateCode = kOk;
  std::function<void()> before;  // runs when this poll is taken, e.g. to cancel
};

struct JobScript {
  std::deque<ScriptedPoll> polls;
  std::optional<TransferJobError> error;
  HResult managerCode = kOk;
  HResult jobCode = kOk;
  HResult addFileCode = kOk;
  HResult completeCode = kOk;
  std::string fileContentOnComplete;  // written to the local name by Complete

  // Record.
  std::string displayName;
  std::u16string remoteUrl;
  std::filesystem::path localName;
  std::string headers;
  bool noProxy = false;
  std::string systemProxy;  // what UseSystemProxy finds; empty for none
  int proxyLookups = 0;
  int resumes = 0;
  int cancels = 0;
  int completes = 0;
  int polled = 0;
  int jobsDestroyed = 0;
  std::vector<std::string> calls;  // "Resume", "GetState", "Cancel", ...

  TransferJobManagerFactory Factory();
};

class ScriptedJob final : public TransferJob {
 public:
  explicit ScriptedJob(JobScript& script) : s_(script) {}
  ~ScriptedJob() override { ++s_.jobsDestroyed; }

  HResult SetNoProxy() override {
    s_.noProxy = true;
    return kOk;
  }
  HResult UseSystemProxy(std::string& proxy) override {
    ++s_.proxyLookups;
    s_.calls.push_back("UseSystemProxy");
    proxy = s_.systemProxy;
    return proxy.empty() ? HResult{1} : kOk;
  }
  HResult AddFile(const std::u16string& remoteUrl, const std::filesystem::path& local) override {
    s_.remoteUrl = remoteUrl;
    s_.localName = local;
    return s_.addFileCode;
  }
  HResult SetCustomHeaders(const std::string& headers) override {
    s_.headers = headers;
    return kOk;
  }
  HResult Resume() override {
    ++s_.resumes;
    s_.calls.push_back("Resume");
    return kOk;
  }
  HResult GetState(uint32_t& state) override {
    s_.calls.push_back("GetState");
    ++s_.polled;
    // An exhausted script ends the loop the quiet way, which tests notice by its result.
    if (s_.polls.empty()) {
      state = static_cast<uint32_t>(TransferJobState::kAcknowledged);
      return kOk;
    }
    ScriptedPoll poll = std::move(s_.polls.front());
    s_.polls.pop_front();
    if (poll.before) poll.before();
    state = poll.state;
    progress_ = poll.progress;
    return poll.stateCode;
  }
  HResult GetProgress(TransferJobProgress& progress) override {
    progress = progress_;
    return kOk;
  }
  std::optional<TransferJobError> GetError() override {
    s_.calls.push_back("GetError");
    return s_.error;
  }
  HResult Cancel() override {
    ++s_.cancels;
    s_.calls.push_back("Cancel");
    return kOk;
  }
  HResult Complete() override;

 private:
  JobScript& s_;
  TransferJobProgress progress_{};
};
