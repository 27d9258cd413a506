#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The bytes of direct downloads that stopped before their end (the network went, the link
// expired, the user cancelled or closed the program), kept so that asking for the same archive
// again, in this run or a later one, continues where it stopped instead of starting over.
//
// Each kept download is two files in the store's folder: "<key>.part", the bytes, and
// "<key>.json", what they are (the server's validator and the file's total size). The key
// names the archive, not the request: the URL without its query (a renewed signature is the
// same object) plus the size and SHA-256 the page expects, when it gives them.
//
// Kept bytes are only a guess about the server's file: the transfer that takes them asks for
// the rest with If-Range and the validator, and starts over when the server's file changed. The
// store itself only promises that what it hands out is what was kept under that key.
//
// Limits: an entry older than kKeptDownloadMaxAge is removed; so are the oldest entries while
// all together hold more than kKeptDownloadsCapBytes, though the newest is never removed for
// the cap (it is the one the user is most likely to ask for again). The limits are applied
// whenever a store is opened: at every start of the program (PruneKeptDownloads) and before and
// after every download, so bytes of a program that is never run again last no longer than
// kKeptDownloadMaxAge plus the temporary folder's own clean-up.

inline constexpr std::chrono::hours kKeptDownloadMaxAge{24 * 7};
inline constexpr uint64_t kKeptDownloadsCapBytes = 16ULL << 30;

// What a kept download holds.
struct KeptDownload {
  uint64_t size = 0;      // bytes kept from the start of the file
  uint64_t total = 0;     // the file's whole size, as the server said
  std::string validator;  // a strong ETag, else a Last-Modified date: what If-Range sends
  // Bytes kept further on (fetched by other connections), as [first, end) pairs beyond `size`,
  // sorted and apart; the bytes between them are not the file's.
  std::vector<std::pair<uint64_t, uint64_t>> ahead;

  // Whether the figures describe a usable part of a file.
  bool IsSound() const;
  // One past the last byte kept.
  uint64_t End() const { return ahead.empty() ? size : ahead.back().second; }
};

class KeptDownloads {
 public:
  // A store in `folder`, which must exist and be this user's alone (KeptDownloadsFolder()).
  // Removes the entries past the limits.
  explicit KeptDownloads(std::filesystem::path folder);

  // The key of an archive at `url` with the figures the page expects (nullopt/empty when it
  // gives none): 64 hexadecimal digits.
  static std::string KeyFor(std::u16string_view url, std::optional<uint64_t> size,
                            std::string_view sha256);

  // Moves the bytes kept under `key` to `destination` (which must not exist, on the store's
  // volume; the file holds the kept bytes at their offsets) and forgets them. nullopt, and nothing
  // moved, when none are kept or what is kept is unusable (then it is removed).
  std::optional<KeptDownload> TakeInto(const std::string& key,
                                       const std::filesystem::path& destination);

  // Moves the file `from`, which holds the bytes `kept` describes, into the store under
  // `key`, replacing what was kept there. False, with `from` left where it is, when it could
  // not be kept.
  bool Keep(const std::string& key, const std::filesystem::path& from, const KeptDownload& kept);

  // Removes what is kept under `key`, if anything.
  void Forget(const std::string& key);

 private:
  std::filesystem::path PartPath(const std::string& key) const;
  std::filesystem::path InfoPath(const std::string& key) const;
  void RemoveExpired();

  std::filesystem::path folder_;
};

// The store's folder for this user, created when missing: beside the working folders
// (base/working_folder.h), on Windows while elevated in the protected root, on Linux named for
// the user and refused unless it is the user's own real folder with mode 0700. nullopt when it
// cannot be made safe; downloads then keep nothing.
std::optional<std::filesystem::path> KeptDownloadsFolder();

// Applies the store's limits to this user's store (KeptDownloadsFolder()). Called once at
// start-up, before any download can take from the store.
void PruneKeptDownloads();
