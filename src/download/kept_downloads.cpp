#include "download/kept_downloads.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "base/sha256.h"
#include "base/utf8_path.h"
#include "base/utf_convert.h"
#include "log/logger.h"

namespace fs = std::filesystem;

namespace {

constexpr char kCategory[] = "Engine.Download";
constexpr char kPartExtension[] = ".part";
constexpr char kInfoExtension[] = ".json";

bool IsKey(const std::string& name) {
  return name.size() == 64 && std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::optional<KeptDownload> ReadInfo(const fs::path& file) {
  using Runs = std::vector<std::pair<uint64_t, uint64_t>>;
  std::ifstream in(file, std::ios::binary);
  const nlohmann::json info = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (!info.is_object()) return std::nullopt;
  const auto size = info.find("size");
  const auto total = info.find("total");
  const auto validator = info.find("validator");
  if (size == info.end() || !size->is_number_unsigned() || total == info.end() ||
      !total->is_number_unsigned() || validator == info.end() || !validator->is_string()) {
    return std::nullopt;
  }
  KeptDownload kept{
      size->get<uint64_t>(), total->get<uint64_t>(), validator->get<std::string>(), {}};
  if (const auto ahead = info.find("ahead"); ahead != info.end()) {
    Runs runs;
    try {
      runs = ahead->get<Runs>();
    } catch (const nlohmann::json::exception&) {
      return std::nullopt;
    }
    kept.ahead = std::move(runs);
  }
  if (!kept.IsSound()) return std::nullopt;
  return kept;
}

// Written beside its final name and then renamed over it, so that a reader never sees half.
bool WriteInfo(const fs::path& file, const KeptDownload& kept) {
  const nlohmann::json info = {{"size", kept.size},
                               {"total", kept.total},
                               {"validator", kept.validator},
                               {"ahead", kept.ahead}};
  fs::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << info.dump();
    if (!out.flush()) return false;
  }
  std::error_code ec;
  fs::rename(temporary, file, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}

}  // namespace

bool KeptDownload::IsSound() const {
  if (validator.empty() || size >= total || End() == 0) return false;
  uint64_t after = size;
  for (const auto& [first, end] : ahead) {
    if (first <= after || end <= first || end > total) return false;
    after = end;
  }
  return true;
}

KeptDownloads::KeptDownloads(fs::path folder) : folder_(std::move(folder)) {
  RemoveExpired();
}

std::string KeptDownloads::KeyFor(std::u16string_view url, std::optional<uint64_t> size,
                                  std::string_view sha256) {
  // A signature lives in the query, and a fragment never reaches the server.
  const std::u16string_view object = url.substr(0, url.find_first_of(u"?#"));
  std::string named = Utf16ToUtf8(object) + "\n" + (size ? std::to_string(*size) : "") + "\n";
  std::transform(sha256.begin(), sha256.end(), std::back_inserter(named),
                 [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  // Without a digest service nothing can be found again; an empty key keeps nothing.
  return Sha256Hex(named).value_or(std::string());
}

std::optional<KeptDownload> KeptDownloads::TakeInto(const std::string& key,
                                                    const fs::path& destination) {
  if (!IsKey(key)) return std::nullopt;
  std::error_code ec;
  if (!fs::exists(InfoPath(key), ec)) return std::nullopt;
  const std::optional<KeptDownload> kept = ReadInfo(InfoPath(key));
  const uint64_t onDisk = fs::file_size(PartPath(key), ec);
  if (!kept || ec || onDisk != kept->End()) {
    Logger::Log(LogLevel::Warn, kCategory, "Kept download unusable; removed: " + key);
    Forget(key);
    return std::nullopt;
  }
  fs::rename(PartPath(key), destination, ec);
  if (ec) {
    Logger::Log(LogLevel::Warn, kCategory,
                "Kept download not taken (" + ec.message() + "); starting over");
    Forget(key);
    return std::nullopt;
  }
  fs::remove(InfoPath(key), ec);
  return kept;
}

bool KeptDownloads::Keep(const std::string& key, const fs::path& from, const KeptDownload& kept) {
  if (!IsKey(key) || !kept.IsSound()) return false;
  Forget(key);
  std::error_code ec;
  fs::rename(from, PartPath(key), ec);
  if (ec) return false;
  if (!WriteInfo(InfoPath(key), kept)) {
    fs::rename(PartPath(key), from, ec);
    if (ec) fs::remove(PartPath(key), ec);
    return false;
  }
  RemoveExpired();
  return fs::exists(InfoPath(key), ec);
}

void KeptDownloads::Forget(const std::string& key) {
  if (!IsKey(key)) return;
  std::error_code ec;
  fs::remove(InfoPath(key), ec);
  fs::remove(PartPath(key), ec);
}

void PruneKeptDownloads() {
  if (const std::optional<fs::path> folder = KeptDownloadsFolder()) KeptDownloads store(*folder);
}

fs::path KeptDownloads::PartPath(const std::string& key) const {
  return folder_ / (key + kPartExtension);
}

fs::path KeptDownloads::InfoPath(const std::string& key) const {
  return folder_ / (key + kInfoExtension);
}

void KeptDownloads::RemoveExpired() {
  struct Entry {
    std::string key;
    fs::file_time_type kept;  // when its description was written
    uint64_t bytes;
  };
  std::vector<Entry> entries;
  std::vector<fs::path> strays;
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path path = it->path();
    const std::string stem = PathToUtf8(path.stem());
    const std::string extension = PathToUtf8(path.extension());
    if (extension == kInfoExtension && IsKey(stem)) {
      std::error_code failed;
      const fs::file_time_type written = fs::last_write_time(path, failed);
      const uint64_t bytes = fs::file_size(PartPath(stem), failed);
      if (failed || now - written > kKeptDownloadMaxAge) {
        Forget(stem);
      } else {
        entries.push_back({stem, written, bytes});
      }
    } else if (extension != kPartExtension || !IsKey(stem) || !fs::exists(InfoPath(stem), ec)) {
      // A part without its description (a keep cut short), or something that is not ours; not
      // one that a keep is writing just now.
      std::error_code failed;
      const fs::file_time_type written = fs::last_write_time(path, failed);
      if (!failed && now - written > std::chrono::hours(1)) strays.push_back(path);
    }
  }
  for (const fs::path& stray : strays) fs::remove_all(stray, ec);

  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.kept > b.kept; });
  uint64_t held = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    held += entries[i].bytes;
    if (i > 0 && held > kKeptDownloadsCapBytes) {
      Logger::Log(LogLevel::Info, kCategory, "Kept download removed for room: " + entries[i].key);
      Forget(entries[i].key);
      held -= entries[i].bytes;
    }
  }
}
