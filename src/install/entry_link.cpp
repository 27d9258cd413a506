#include "install/entry_link.h"

#include <deque>
#include <system_error>
#include <vector>

#include "base/utf8_path.h"
#include "install/entry_rules.h"

namespace fs = std::filesystem;

namespace {

// Longer than any path a system resolves (PATH_MAX is 4096).
constexpr size_t kLongestTarget = 4095;
// As many links as a POSIX system follows in one resolution before it reports a loop.
constexpr int kMostLinksFollowed = 40;

// The components of a link target as the system reads it: '/' separates, "" and "." are
// nothing. A backslash is an ordinary character there.
std::deque<std::string> TargetParts(std::string_view target) {
  std::deque<std::string> parts;
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = target.find('/', start);
    if (end == std::string_view::npos) end = target.size();
    const std::string_view part = target.substr(start, end - start);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

fs::path Join(const fs::path& folder, const std::vector<std::string>& parts) {
  fs::path path = folder;
  for (const std::string& part : parts) path /= PathFromUtf8(part);
  return path;
}

}  // namespace

std::optional<std::string> LinkRefusal(const fs::path& folder, std::string_view linkKey,
                                       std::string_view target) {
  if (target.empty()) return "the link target is empty";
  if (target.size() > kLongestTarget) return "the link target is too long";
  if (HasControlCharacter(target)) return "the link target holds a control character";
  if (target.front() == '/') return "the link target is absolute";

  // Walk the target the way the system will, from the link's own folder, following links
  // already made; leaving the extraction folder at any step refuses it.
  std::vector<std::string> where;
  for (std::string& part : TargetParts(EntryKey(linkKey))) where.push_back(std::move(part));
  if (where.empty()) return "the link has no name";
  where.pop_back();
  std::deque<std::string> ahead = TargetParts(target);
  int followed = 0;
  while (!ahead.empty()) {
    std::string part = std::move(ahead.front());
    ahead.pop_front();
    if (part == "..") {
      if (where.empty()) return "the link target leaves the extraction folder";
      where.pop_back();
      continue;
    }
    where.push_back(std::move(part));
    std::error_code ec;
    const fs::path here = Join(folder, where);
    const fs::file_status status = fs::symlink_status(here, ec);
    if (fs::is_symlink(status)) {
      if (++followed > kMostLinksFollowed) return "the link target loops through links";
      const std::string inner = PathToUtf8(fs::read_symlink(here, ec));
      if (ec || inner.empty() || inner.front() == '/') return "the link target cannot be followed";
      where.pop_back();
      std::deque<std::string> innerParts = TargetParts(inner);
      ahead.insert(ahead.begin(), innerParts.begin(), innerParts.end());
      continue;
    }
    if (!ahead.empty() && !fs::is_directory(status)) {
      return "the link target passes through something that is not a folder";
    }
  }
  return std::nullopt;
}

bool PassesThroughLink(const fs::path& folder, std::string_view key) {
  std::deque<std::string> parts = TargetParts(EntryKey(key));
  if (!parts.empty()) parts.pop_back();
  fs::path path = folder;
  for (const std::string& part : parts) {
    path /= PathFromUtf8(part);
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) return true;
  }
  return false;
}
