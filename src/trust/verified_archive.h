#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/bytes_check.h"
#include "trust/archive_signature.h"

// What an archive was when its signature verified: its path, size, modification time and the
// SHA-256 the signature was checked against. With a key built in, the extraction opens only
// the archive the latest download verified, and only while it is still that archive; the
// bytes it reads are checked again against the digest.
//
// One record per download: the host keeps the latest download's record
// (ActionContext::LatestVerifiedArchive), the download's worker fills it.
// Threading: Record once on the worker, before the download's completion is posted; the
// questions on any thread (they answer "no" until the record is complete).
class VerifiedArchive {
 public:
  // Records `path` as verified with `digest`, reading its size and modification time now.
  // False, with nothing recorded, when either cannot be read.
  bool Record(const std::filesystem::path& path, const Sha256Digest& digest);

  // True when an archive was recorded, `des` names it (in the form a download's completion
  // gives it in "des": UTF-8, forward slashes) and it still has the size and modification time
  // it had then.
  bool Is(const std::string& des) const;

  // A check that, given the archive's bytes again wherever they are read (each once, in order),
  // accepts them only when they hash to the recorded digest. Null when nothing was recorded or
  // the check cannot start.
  std::unique_ptr<BytesCheck> SameBytesCheck() const;

 private:
  std::atomic<bool> recorded_{false};
  // Written before recorded_ is set, then never again.
  std::filesystem::path path_;
  uint64_t size_ = 0;
  std::filesystem::file_time_type writeTime_{};
  Sha256Digest digest_{};
};

// An extraction of an archive that verified, as the launch of a setup program asks about it.
class VerifiedExtraction {
 public:
  virtual ~VerifiedExtraction() = default;
  // The folder the archive was extracted into, UTF-8 (valid once the extraction started).
  virtual const std::string& Folder() const = 0;
  // True once the extraction ended with every entry written from bytes the check accepted.
  // Any thread.
  virtual bool CheckedAndComplete() const = 0;
};
