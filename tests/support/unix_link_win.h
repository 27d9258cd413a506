#pragma once

#include <filesystem>

// Under Wine, the stand-in for a junction a user plants: a Unix symbolic link made from the
// Unix side (Wine cannot make junctions, and its CreateSymbolicLinkW makes nothing). Wine shows
// such a link to a folder as a reparse point in the folder's listing and by name, but a handle
// opened on it with FILE_FLAG_OPEN_REPARSE_POINT reaches the target. The link is removed at the
// end, before a TemporaryFolder's remove_all could follow it.
class UnixLink {
 public:
  UnixLink(const std::filesystem::path& target, const std::filesystem::path& link);
  ~UnixLink();
  UnixLink(const UnixLink&) = delete;
  UnixLink& operator=(const UnixLink&) = delete;
  // True when the link exists (as Wine shows it: a reparse point by name).
  bool made() const;

 private:
  std::filesystem::path link_;
};
