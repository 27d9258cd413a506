#include <thread>

#include "base/detached_thread.h"

void StartDetachedThread(std::function<void()> body) {
  std::thread(std::move(body)).detach();
}
