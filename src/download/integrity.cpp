#include <cctype>
#include <system_error>

#include "base/sha256.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "log/logger.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

// A transfer that "succeeds" with a truncated or altered body would otherwise hand a broken
// archive to the extraction; the page can name what it expects, and a mismatch fails here.
void DownloadEngine::VerifyIntegrity() {
  if (!expectedSize && expectedSha256.empty()) return;
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(destPath, ec);
  std::string problem;
  if (ec) {
    result = download_result::kSizeMismatch;
    problem = "the file is missing";
  } else if (expectedSize && size != *expectedSize) {
    result = download_result::kSizeMismatch;
    problem = "expected " + std::to_string(*expectedSize) + " bytes, got " + std::to_string(size);
  } else if (!expectedSha256.empty()) {
    const std::optional<std::string> actual = Sha256HexOfFile(destPath);
    if (!actual || *actual != Lower(expectedSha256)) {
      result = download_result::kHashMismatch;
      problem = "SHA-256 " + actual.value_or("unreadable") + " does not match";
    }
  }
  if (result == 0) return;
  message = "The download is incomplete or corrupt (" + problem + ").";
  Logger::Log(LogLevel::Error, "Engine.Download", message);
  std::filesystem::remove(destPath, ec);
}
