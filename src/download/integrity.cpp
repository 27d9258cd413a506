#include <cctype>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/hex_string.h"
#include "base/page_results.h"
#include "base/sha256.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "download/direct_transfer.h"
#include "download/download_engine.h"
#include "download/download_results.h"
#include "log/logger.h"
#include "trust/archive_signature.h"
#include "trust/release_manifest.h"

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
    result = page_result::kSizeMismatch;
    problem = "the file is missing";
  } else if (expectedSize && size != *expectedSize) {
    result = page_result::kSizeMismatch;
    problem = "expected " + std::to_string(*expectedSize) + " bytes, got " + std::to_string(size);
  } else if (!expectedSha256.empty()) {
    const std::optional<std::string> actual = Sha256HexOfFile(destPath);
    if (!actual || *actual != Lower(expectedSha256)) {
      result = page_result::kHashMismatch;
      problem = "SHA-256 " + actual.value_or("unreadable") + " does not match";
    }
  }
  if (result == 0) return;
  message = "The download is incomplete or corrupt (" + problem + ").";
  Logger::Log(LogLevel::Error, "Engine.Download", message);
  std::filesystem::remove(destPath, ec);
}

// The vendor's key decides what may be extracted and run: an archive counts only with a
// signature that verifies, and one that does not is removed so nothing can pick it up later.
void DownloadEngine::VerifySignature() {
  HResult failure = kOk;
  std::string why;
  std::string release;           // what a release manifest vouched for, for the log
  Sha256Digest checkedDigest{};  // the SHA-256 the signature was checked against
  std::optional<std::string> text = signature;
  if (!text && !signatureUrl.empty()) text = FetchSignature(why);
  std::error_code ec;
  if (!text && cancelRequested.load()) {
    result = page_result::kCancelled;
    std::filesystem::remove(destPath, ec);
    return;
  }
  if (!text) {
    failure = trust_code::kNoSignature;
    if (why.empty()) why = "no signature was given";
  } else if (const std::optional<ArchiveSignature> parsed = ParseArchiveSignature(*text, why);
             !parsed) {
    failure = trust_code::kBadSignature;
  } else {
    // The digest the transfer made as it wrote; whatever the signature covers, the archive is
    // bound to it through this digest.
    std::optional<Sha256Digest> digest;
    if (arrivingArchiveCheck) {
      const uint64_t size = std::filesystem::file_size(destPath, ec);
      if (!ec) digest = arrivingArchiveCheck->Finish(size);
      arrivingArchiveCheck.reset();
    }
    if (!digest) {
      // Hashed after the transfer: the platform's service hands the file over only at its end,
      // and a transfer may resume from bytes the check did not see.
      Logger::Log(LogLevel::Info, "Engine.Download", "Reading the archive to check its signature");
      digest = FileSha256(destPath);
    }
    if (!digest) {
      failure = trust_code::kBadSignature;
      why = "the archive could not be read";
    } else {
      failure = CheckArchiveSignature(archiveKey, *parsed, *digest, wantedRelease, why);
      if (parsed->release) release = parsed->release->product + " " + parsed->release->version;
      checkedDigest = *digest;
    }
  }

  if (!Failed(failure)) {
    if (verifiedArchive->Record(destPath, checkedDigest)) {
      Logger::Log(LogLevel::Info, "Engine.Download",
                  "Archive signature verified: " + GenericPathToUtf8(destPath) +
                      (release.empty() ? "" : " (release " + release + ")"));
      return;
    }
    failure = trust_code::kBadSignature;
    why = "the archive could not be read";
  }
  result = LowWord(failure);
  message = "The download could not be verified (" + why + ").";
  Logger::Log(LogLevel::Error, "Engine.Download",
              message + ", hr=" + ToHexString(static_cast<uint32_t>(failure)));
  std::filesystem::remove(destPath, ec);
}

// A direct transfer whatever transfer the archive took: a signature is a few bytes, and the
// background job would retry a missing one with back-off for many minutes. The body goes to
// "<archive>.sig" beside the archive, and the transfer refuses one larger than
// kMaxSignatureFileBytes. It is a request of its own: the page's progress, and the archive's
// streamed check, belong to the archive.
std::optional<std::string> DownloadEngine::FetchSignature(std::string& why) {
  DirectTransferRequest request;
  request.url = signatureUrl;
  request.destination = destPath;
  request.destination += ".sig";
  request.cancel = &cancelRequested;
  request.clock = &clock_;
  request.maxBytes = kMaxSignatureFileBytes;
  Logger::Log(LogLevel::Info, "Engine.Download",
              "Fetching the archive's signature from " + Utf16ToUtf8(request.url));
  const TransferResult fetched = ::RunDirectTransfer(request);

  const std::string tooLarge =
      "the signature file is larger than " + std::to_string(kMaxSignatureFileBytes) + " bytes";
  std::optional<std::string> text;
  std::error_code ec;
  if (fetched.code == HResultFromWin32(page_result::kFileTooLarge)) {
    why = tooLarge;
  } else if (Failed(fetched.code)) {
    why = "the signature could not be fetched, " + ToHexString(static_cast<uint32_t>(fetched.code));
  } else if (std::filesystem::file_size(request.destination, ec) > kMaxSignatureFileBytes || ec) {
    why = tooLarge;
  } else {
    std::ifstream in(request.destination, std::ios::binary);
    if (in) {
      text.emplace(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      why = "the signature file could not be read";
    }
  }
  std::filesystem::remove(request.destination, ec);
  return text;
}
