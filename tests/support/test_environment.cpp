#include "support/test_environment.h"

#include <stdexcept>

#include "base/elevation.h"
#include "base/environment.h"
#include "base/working_folder.h"

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     std::optional<std::string> value)
    : name_(std::move(name)) {
  previous_ = ReadEnvironmentVariable(name_.c_str());
  SetProcessEnvironmentVariable(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  SetProcessEnvironmentVariable(name_, previous_);
}

ScopedElevation::ScopedElevation(bool elevated) {
  SetElevationForTesting(elevated);
}

ScopedElevation::~ScopedElevation() {
  SetElevationForTesting(std::nullopt);
}

TemporaryFolder::TemporaryFolder() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A fresh GUID per attempt; create_directory fails when the name is taken.
    std::filesystem::path candidate = base / ("vlm-test-" + NewGuidFolderName());
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      path_ = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ignored;
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ec);
}
