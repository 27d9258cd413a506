#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

// A tmpfs of a fixed size mounted at `mountPoint` for the lifetime of the object, to fill a disk
// without filling the machine's. Mounting needs root: mounted() says whether it worked.
class SmallDisk {
 public:
  SmallDisk(std::filesystem::path mountPoint, size_t bytes) : path_(std::move(mountPoint)) {
    std::filesystem::create_directories(path_);
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};
