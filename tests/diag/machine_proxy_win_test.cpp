// The machine-wide default proxy as WinHTTP keeps it (WinHttpSetDefaultProxyConfiguration writes
// the value WinHttpGetDefaultProxyConfiguration reads): a report whose direct route fails and
// for which the user's settings name no proxy goes through it. Windows only.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include "diag/local_http_server.h"
#include "diag/teams_notifier.h"
#include "support/logger_fixture.h"

namespace {

// Names `proxy` as the machine's default for the lifetime of the object, then no proxy again.
// Holds the mutex of the tests' other proxy settings (support/system_proxy_setting.h).
class ScopedMachineProxy {
 public:
  explicit ScopedMachineProxy(const std::wstring& proxy)
      : lock_(CreateMutexW(nullptr, FALSE, L"Local\\quillfetch-tests-system-proxy")) {
    if (lock_ != nullptr) WaitForSingleObject(lock_, INFINITE);
    Set(WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy);
  }
  ~ScopedMachineProxy() {
    Set(WINHTTP_ACCESS_TYPE_NO_PROXY, L"");
    if (lock_ != nullptr) {
      ReleaseMutex(lock_);
      CloseHandle(lock_);
    }
  }
  ScopedMachineProxy(const ScopedMachineProxy&) = delete;
  ScopedMachineProxy& operator=(const ScopedMachineProxy&) = delete;

  bool set = false;

 private:
  void Set(DWORD access, std::wstring proxy) {
    WINHTTP_PROXY_INFO info{};
    info.dwAccessType = access;
    info.lpszProxy = proxy.empty() ? nullptr : proxy.data();
    set = WinHttpSetDefaultProxyConfiguration(&info) != FALSE;
  }

  HANDLE lock_;
};

class MachineProxyTest : public LoggerFixture {};

TEST_F(MachineProxyTest, AReportGoesThroughTheMachinesDefaultProxyAfterDirect) {
  LocalHttpServer proxy(LocalHttpServer::Mode::kAnswer, "posted");
  const std::wstring name = L"127.0.0.1:" + std::to_wstring(proxy.port());
  ScopedMachineProxy setting(name);
  ASSERT_TRUE(setting.set);
  // Nothing listens on port 1 of 127.0.0.2: the direct connection is refused at once.
  TeamsNotifier(ParseWebhookUrl("http://127.0.0.2:1/hook").value())
      .PostIssueReport(nlohmann::json::parse(R"({"error":{"description":"x"}})"));

  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "http://127.0.0.2:1/hook");
  EXPECT_EQ(EntriesAt("INFO",
                      "Route to 127.0.0.2:1: the direct connection failed (12029); "
                      "through the machine's default proxy 127.0.0.1:")
                .size(),
            1u);
  EXPECT_EQ(EntriesAt("DEBUG", "Teams response: posted").size(), 1u);
}

}  // namespace
