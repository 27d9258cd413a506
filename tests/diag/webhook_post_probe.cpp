// One webhook post as the program makes it, for tests that run it inside a network lab:
//   webhook_post_probe URL LOG_DIR
// posts "{}" to URL, prints the answer's first block and exits 0, or exits 1 when nothing came
// back. The route lines go to the log in LOG_DIR.
#include <cstdio>
#include <string>

#include "diag/webhook_endpoint.h"
#include "diag/webhook_post.h"
#include "log/logger.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: webhook_post_probe URL LOG_DIR\n");
    return 2;
  }
  const std::optional<WebhookEndpoint> endpoint = ParseWebhookUrl(argv[1]);
  if (!endpoint) return 2;
  Logger::Initialize(argv[2], "probe");
  const HttpTimeouts timeouts{std::chrono::milliseconds(10'000), std::chrono::milliseconds(10'000)};
  const std::optional<std::string> answer = PostJsonToWebhook(*endpoint, "{}", timeouts);
  Logger::Flush();
  if (!answer) return 1;
  std::fwrite(answer->data(), 1, answer->size(), stdout);
  return 0;
}
