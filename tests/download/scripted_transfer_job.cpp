#include "download/scripted_transfer_job.h"

#include <fstream>

namespace {

class ScriptedManager final : public TransferJobManager {
 public:
  explicit ScriptedManager(JobScript& script) : s_(script) {}
  HResult CreateJob(const std::string& displayName, std::unique_ptr<TransferJob>& job) override {
    s_.displayName = displayName;
    if (Failed(s_.jobCode)) return s_.jobCode;
    job = std::make_unique<ScriptedJob>(s_);
    return kOk;
  }

 private:
  JobScript& s_;
};

}  // namespace

HResult ScriptedJob::Complete() {
  ++s_.completes;
  s_.calls.push_back("Complete");
  if (Failed(s_.completeCode)) return s_.completeCode;
  std::ofstream(s_.localName, std::ios::binary) << s_.fileContentOnComplete;
  return kOk;
}

TransferJobManagerFactory JobScript::Factory() {
  return [this](std::unique_ptr<TransferJobManager>& manager) {
    if (Failed(managerCode)) return managerCode;
    manager = std::make_unique<ScriptedManager>(*this);
    return kOk;
  };
}
