#include <algorithm>
#include <atomic>
#include <memory>

#include "base/utf_convert.h"
#include "diag/webhook_post.h"
#include "net/http_session.h"

namespace {

// The answer is logged as one line: a first block larger than this says nothing more.
constexpr size_t kFirstBlockLimit = 64 * 1024;

// Keeps the answer's first block and ends the exchange there: nothing more is wanted.
class FirstBlock final : public HttpAnswerReceiver {
 public:
  TransferError OnHead(const HttpAnswerHead&) override { return TransferError(); }
  TransferError OnBody(const char* data, size_t size) override {
    block.emplace(data, std::min(size, kFirstBlockLimit));
    return TransferError(kEnough);
  }

  static constexpr uint32_t kEnough = 0xA0000010;
  std::optional<std::string> block;
};

}  // namespace

std::optional<std::string> PostJsonToWebhook(const WebhookEndpoint& endpoint,
                                             const std::string& body,
                                             const HttpTimeouts& timeouts) {
  HttpSessionOptions options;
  options.userAgent = kWebhookUserAgent;
  options.connectLimit = timeouts.connect;
  options.idleLimit = timeouts.sendReceive;
  options.followRedirects = false;  // a redirect would carry the report wherever it points
  options.logCategory = "Engine.Http";
  std::unique_ptr<HttpSession> session;
  if (OpenHttpSession(Utf8ToUtf16(WebhookUrl(endpoint)), std::move(options), session)) {
    return std::nullopt;
  }
  // A report is never cancelled: the time-outs bound it.
  const std::atomic<bool> never{false};
  FirstBlock answer;
  // The outcome is the answer's first block or nothing; the failure says no more.
  static_cast<void>(session->Post("application/json", body, never, answer));
  return answer.block;
}
