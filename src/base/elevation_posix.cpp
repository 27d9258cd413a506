#include <atomic>

#include "base/elevation.h"

namespace {

std::atomic<int> g_override{-1};  // -1: no override; else 0 or 1

}  // namespace

bool ProcessIsElevated() {
  return g_override.load() == 1;
}

void SetElevationForTesting(std::optional<bool> elevated) {
  g_override.store(elevated ? static_cast<int>(*elevated) : -1);
}
