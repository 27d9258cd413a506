#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "diag/webhook_endpoint.h"

// One synchronous JSON POST to a webhook, as the issue report needs it, on the program's HTTP
// session (net/http_session.h): user agent "MyApp/1.0", direct first and then the user's and the
// machine's default proxy (net/proxy_route.h), "Content-Type: application/json", redirects not
// followed, the HTTP status not examined.

struct HttpTimeouts {
  // Name resolution, connecting and the TLS handshake together.
  std::chrono::milliseconds connect{60'000};
  // Once connected: the longest the exchange may go without sending or receiving anything.
  std::chrono::milliseconds sendReceive{30'000};
};

inline constexpr char kWebhookUserAgent[] = "MyApp/1.0";

// Posts `body` to `endpoint` and returns the first block of the answer's body as it arrived
// (the rest is not read). nullopt when nothing came back: a failure at any step, or an empty
// answer. Never throws.
std::optional<std::string> PostJsonToWebhook(const WebhookEndpoint& endpoint,
                                             const std::string& body, const HttpTimeouts& timeouts);
