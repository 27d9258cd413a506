#include "download/transfer_job_bits.h"

#include <bits.h>
#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/utf_convert.h"
#include "download/transfer_error_text_bits.h"
#include "net/proxy_route.h"

using Microsoft::WRL::ComPtr;

namespace {

// How long GetState waits before asking a job that was transferring (see the header).
constexpr std::chrono::milliseconds kTransferringPollWait(5);

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

class BitsTransferJob final : public TransferJob {
 public:
  explicit BitsTransferJob(ComPtr<IBackgroundCopyJob> job) : job_(std::move(job)) {}

  ~BitsTransferJob() override {
    if (!settled_) job_->Cancel();
    // Members release in reverse order of declaration: HTTP options, the second job
    // interface, then the job.
  }

  BitsTransferJob(const BitsTransferJob&) = delete;
  BitsTransferJob& operator=(const BitsTransferJob&) = delete;

  HResult SetNoProxy() override {
    const HRESULT found = job_->QueryInterface(IID_IBackgroundCopyJob2,
                                               reinterpret_cast<void**>(job2_.GetAddressOf()));
    if (FAILED(found)) return found;
    return job2_->SetProxySettings(BG_JOB_PROXY_USAGE_NO_PROXY, nullptr, nullptr);
  }

  // The service applies the user's proxy settings itself (PRECONFIG); WinHTTP's answer for the
  // URL tells whether there is one, and names it for the log.
  HResult UseSystemProxy(std::string& proxy) override {
    proxy.clear();
    const std::optional<SystemProxy> found = SystemProxyForUrl(Utf16ToUtf8(url_));
    if (!found) return S_FALSE;
    if (!job2_) {
      const HRESULT asked = job_->QueryInterface(IID_IBackgroundCopyJob2,
                                                 reinterpret_cast<void**>(job2_.GetAddressOf()));
      if (FAILED(asked)) return asked;
    }
    const HRESULT set = job2_->SetProxySettings(BG_JOB_PROXY_USAGE_PRECONFIG, nullptr, nullptr);
    if (FAILED(set)) return set;
    proxy = found->proxy;
    return S_OK;
  }

  HResult AddFile(const std::u16string& remoteUrl, const std::filesystem::path& local) override {
    url_ = remoteUrl;
    return job_->AddFile(Wide(remoteUrl), local.c_str());
  }

  HResult SetCustomHeaders(const std::string& headers) override {
    const HRESULT found = job_->QueryInterface(
        IID_IBackgroundCopyJobHttpOptions, reinterpret_cast<void**>(httpOptions_.GetAddressOf()));
    if (FAILED(found)) return found;
    return httpOptions_->SetCustomHeaders(Wide(Utf8ToUtf16(headers)));
  }

  HResult Resume() override { return job_->Resume(); }

  HResult GetState(uint32_t& state) override {
    if (lastState_ == BG_JOB_STATE_TRANSFERRING) std::this_thread::sleep_for(kTransferringPollWait);
    BG_JOB_STATE current = BG_JOB_STATE_QUEUED;
    const HRESULT asked = job_->GetState(&current);
    if (FAILED(asked)) return asked;
    lastState_ = current;
    state = static_cast<uint32_t>(current);
    return kOk;
  }

  HResult GetProgress(TransferJobProgress& progress) override {
    BG_JOB_PROGRESS reported{};
    const HRESULT asked = job_->GetProgress(&reported);
    if (FAILED(asked)) return asked;
    progress.bytesTotal = reported.BytesTotal;
    progress.bytesTransferred = reported.BytesTransferred;
    progress.filesTotal = reported.FilesTotal;
    progress.filesTransferred = reported.FilesTransferred;
    return kOk;
  }

  std::optional<TransferJobError> GetError() override {
    ComPtr<IBackgroundCopyError> error;
    if (FAILED(job_->GetError(error.GetAddressOf())) || !error) return std::nullopt;
    TransferJobError found;
    BG_ERROR_CONTEXT context = BG_ERROR_CONTEXT_NONE;
    HRESULT code = S_OK;
    if (SUCCEEDED(error->GetError(&context, &code))) found.code = code;
    LPWSTR text = nullptr;
    if (SUCCEEDED(error->GetErrorDescription(0, &text)) && text != nullptr && *text != L'\0') {
      found.description = Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
    }
    CoTaskMemFree(text);
    if (!found.description && found.code) found.description = DescribeTransferError(*found.code);
    return found;
  }

  HResult Cancel() override {
    const HRESULT cancelled = job_->Cancel();
    // Success codes count: the service may cancel yet be unable to delete its temporary files.
    if (SUCCEEDED(cancelled)) settled_ = true;
    return cancelled;
  }

  HResult Complete() override {
    const HRESULT completed = job_->Complete();
    if (SUCCEEDED(completed)) settled_ = true;
    return completed;
  }

 private:
  ComPtr<IBackgroundCopyJob> job_;
  ComPtr<IBackgroundCopyJob2> job2_;
  ComPtr<IBackgroundCopyJobHttpOptions> httpOptions_;
  std::u16string url_;
  BG_JOB_STATE lastState_ = BG_JOB_STATE_QUEUED;
  bool settled_ = false;  // completed or cancelled: nothing left for the destructor to do
};

class BitsTransferJobManager final : public TransferJobManager {
 public:
  explicit BitsTransferJobManager(ComPtr<IBackgroundCopyManager> manager)
      : manager_(std::move(manager)) {}

  HResult CreateJob(const std::string& displayName, std::unique_ptr<TransferJob>& job) override {
    ComPtr<IBackgroundCopyJob> created;
    GUID id{};
    const HRESULT made = manager_->CreateJob(Wide(Utf8ToUtf16(displayName)), BG_JOB_TYPE_DOWNLOAD,
                                             &id, created.GetAddressOf());
    if (FAILED(made)) return made;
    job = std::make_unique<BitsTransferJob>(std::move(created));
    return kOk;
  }

 private:
  ComPtr<IBackgroundCopyManager> manager_;
};

}  // namespace

HResult CreateBitsTransferJobManager(std::unique_ptr<TransferJobManager>& manager) {
  ComPtr<IBackgroundCopyManager> service;
  const HRESULT created = CoCreateInstance(CLSID_BackgroundCopyManager, nullptr,
                                           CLSCTX_LOCAL_SERVER, IID_IBackgroundCopyManager,
                                           reinterpret_cast<void**>(service.GetAddressOf()));
  if (FAILED(created)) return created;
  manager = std::make_unique<BitsTransferJobManager>(std::move(service));
  return kOk;
}

TransferJobManagerFactory PlatformTransferJobManagerFactory() {
  return [](std::unique_ptr<TransferJobManager>& manager) {
    return CreateBitsTransferJobManager(manager);
  };
}
