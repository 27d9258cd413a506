#include <unistd.h>

#include <string>

#include "app/setup_web_view.h"

std::filesystem::path CurrentExecutablePath() {
  // readlink gives no length up front; grow until the whole path fits (no 260-character cut).
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}
