#include "base/folder_error.h"

#include <string>

namespace {

class Category : public std::error_category {
 public:
  const char* name() const noexcept override { return "folder"; }
  std::string message(int value) const override {
    switch (static_cast<FolderError>(value)) {
      case FolderError::kNotProtected:
        return "the folder is not protected: someone other than administrators can change it";
      case FolderError::kReparsePoint:
        return "a link (reparse point) is in the way";
    }
    return "unknown folder error";
  }
  std::error_condition default_error_condition(int) const noexcept override {
    return std::errc::permission_denied;
  }
};

}  // namespace

const std::error_category& FolderErrorCategory() {
  static const Category category;
  return category;
}
