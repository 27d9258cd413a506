#include "app/single_instance_mutex.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf_convert.h"

namespace {

// Started with this flag, the test program is not a test run but one instance of the host's
// start-up: RunSingleInstance over MutexInstanceLocks with the name prefix it is given, whose
// window part signals the "ready" event and waits for the "stop" event. Its exit code is what
// RunSingleInstance returns.
constexpr std::wstring_view kInstanceFlag = L"--single-instance-child";

std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

int RunAsInstance(const std::string& prefix, const std::wstring& ready, const std::wstring& stop) {
  MutexInstanceLocks locks(prefix);
  return RunSingleInstance(locks, [&] {
    const HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    const HANDLE stopEvent = OpenEventW(SYNCHRONIZE, FALSE, stop.c_str());
    if (readyEvent == nullptr || stopEvent == nullptr) return 2;
    SetEvent(readyEvent);
    // Bounded, so that a test that fails before stopping it leaves nothing running for long.
    return WaitForSingleObject(stopEvent, 60'000) == WAIT_OBJECT_0 ? 0 : 3;
  });
}

// Runs before main: an instance never reaches the test runner. Its arguments are names made by
// the tests below, without spaces.
const bool g_ranAsInstance = [] {
  const std::wstring_view line = GetCommandLineW();
  const size_t flag = line.find(kInstanceFlag);
  if (flag == std::wstring_view::npos) return false;
  std::vector<std::wstring> words;
  std::wstring_view rest = line.substr(flag + kInstanceFlag.size());
  while (!rest.empty()) {
    const size_t start = rest.find_first_not_of(L' ');
    if (start == std::wstring_view::npos) break;
    rest.remove_prefix(start);
    const size_t end = rest.find(L' ');
    words.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::wstring_view::npos ? rest.size() : end);
  }
  ExitProcess(words.size() == 3 ? RunAsInstance(Narrow(words[0]), words[1], words[2]) : 4);
}();

// One instance started by a test: a real process running this program with kInstanceFlag.
class Instance {
 public:
  Instance(const std::wstring& prefix, const std::wstring& stopEvent, bool inheritHandles = false) {
    static int counter = 0;
    const std::wstring readyName = prefix + L"ready-" + std::to_wstring(++counter);
    ready_ = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" " +
                               std::wstring(kInstanceFlag) + L" " + prefix + L" " + readyName +
                               L" " + stopEvent;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program, commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr,
                       nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      process_ = process.hProcess;
    }
  }
  ~Instance() {
    if (process_ != nullptr) {
      if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
      CloseHandle(process_);
    }
    if (ready_ != nullptr) CloseHandle(ready_);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool started() const { return process_ != nullptr; }

  // True once the instance runs its window part; false when it ended without getting there.
  bool WaitUntilRunning() const {
    const HANDLE either[] = {ready_, process_};
    return WaitForMultipleObjects(2, either, FALSE, 60'000) == WAIT_OBJECT_0;
  }

  // The whole exit code, as only a Windows parent sees it; STILL_ACTIVE after the time-out.
  DWORD ExitCode() const {
    WaitForSingleObject(process_, 60'000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  HANDLE ready_ = nullptr;
  HANDLE process_ = nullptr;
};

// Every test uses names of its own, so that it neither meets a real instance nor another test.
class MutexInstanceLocksTest : public ::testing::Test {
 protected:
  MutexInstanceLocksTest()
      : prefix_(L"vlm-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"-"),
        stopName_(prefix_ + L"stop"),
        stop_(CreateEventW(nullptr, TRUE, FALSE, stopName_.c_str())) {}
  ~MutexInstanceLocksTest() override {
    SetEvent(stop_);
    CloseHandle(stop_);
  }

  std::unique_ptr<Instance> Start(bool inheritHandles = false) {
    auto instance = std::make_unique<Instance>(prefix_, stopName_, inheritHandles);
    EXPECT_TRUE(instance->started());
    return instance;
  }
  void StopInstances() { SetEvent(stop_); }
  MutexInstanceLocks Locks() const { return MutexInstanceLocks(Narrow(prefix_)); }

  std::wstring prefix_;
  std::wstring stopName_;
  HANDLE stop_;
};

TEST_F(MutexInstanceLocksTest, SecondInstanceExitsWith183UntilTheFirstHasEnded) {
  const auto first = Start();
  ASSERT_TRUE(first->WaitUntilRunning());
  // The running instance holds the second name only: the first is a probe and stays free.
  EXPECT_TRUE(Locks().IsHeldElsewhere(kHeldInstanceLockName));
  EXPECT_FALSE(Locks().IsHeldElsewhere(kProbedInstanceLockName));

  const auto second = Start();
  EXPECT_EQ(second->ExitCode(), 183u);

  StopInstances();
  EXPECT_EQ(first->ExitCode(), 0u);
  const auto third = Start();  // the stop event is still set: it runs and ends at once
  EXPECT_EQ(third->ExitCode(), 0u);
}

TEST_F(MutexInstanceLocksTest, AnyProcessHoldingTheProbedNameKeepsInstancesFromStarting) {
  MutexInstanceLocks other = Locks();
  ASSERT_TRUE(other.Hold(kProbedInstanceLockName));
  EXPECT_EQ(Start()->ExitCode(), 183u);
}

TEST_F(MutexInstanceLocksTest, ALaunchedProgramDoesNotKeepTheNameAlive) {
  std::unique_ptr<Instance> launched;
  {
    MutexInstanceLocks host = Locks();
    ASSERT_TRUE(host.Hold(kHeldInstanceLockName));
    EXPECT_FALSE(Locks().Hold(kHeldInstanceLockName));
    // A program started with inheritable handles passed on, as a setup may be: it runs as an
    // instance under other names, so it stays alive without touching these.
    launched = std::make_unique<Instance>(prefix_ + L"launched-", stopName_, true);
    ASSERT_TRUE(launched->started());
  }
  ASSERT_TRUE(launched->WaitUntilRunning());  // alive, with whatever it inherited
  EXPECT_FALSE(Locks().IsHeldElsewhere(kHeldInstanceLockName));
  EXPECT_TRUE(Locks().Hold(kHeldInstanceLockName));
}

}  // namespace
