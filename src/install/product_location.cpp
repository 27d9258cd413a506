#include "install/product_location.h"

#include <optional>
#include <system_error>

#include "base/elevation.h"
#include "base/environment.h"
#include "base/page_results.h"
#include "base/utf8_path.h"
#include "install/known_folder.h"

namespace {

ProductLocation Refused(uint32_t result, std::string message) {
  ProductLocation location;
  location.result = result;
  location.message = std::move(message);
  return location;
}

// True when `path` lies in `folder` or below it; both are compared part by part.
bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  auto part = path.begin();
  for (const std::filesystem::path& own : folder) {
    if (own.empty()) continue;  // the empty part after a trailing separator
    if (part == path.end() || *part != own) return false;
    ++part;
  }
  return true;
}

}  // namespace

bool ExpandEnvironmentReferences(const std::string& text, std::string& expanded,
                                 std::string& missing) {
  expanded.clear();
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos || close == open + 1) {
      const size_t end = close == std::string::npos ? text.size() : close + 1;
      expanded.append(text, at, end - at);
      at = end;
      continue;
    }
    expanded.append(text, at, open - at);
    const std::string name = text.substr(open + 1, close - open - 1);
    // Elevated, the environment is partly the user's other programs' to set: only the system's
    // known folders are believed then.
    const std::optional<std::string> value =
        ProcessIsElevated() ? KnownFolderPath(name) : ReadEnvironmentVariable(name.c_str());
    if (!value || value->empty()) {
      missing = name;
      return false;
    }
    expanded += *value;
    at = close + 1;
  }
  return true;
}

ProductLocation LocateProduct(const std::string& folderText, const std::string& programText) {
  std::string expanded;
  std::string missing;
  if (!ExpandEnvironmentReferences(folderText, expanded, missing)) {
    return Refused(page_result::kEnvVarNotFound,
                   "The product folder " + folderText + " names %" + missing + "%, which is " +
                       (ProcessIsElevated() ? "not a known folder (an installer with "
                                              "administrator rights reads no other)"
                                            : "not set"));
  }
  const std::filesystem::path folder = PathFromUtf8(expanded).lexically_normal();
  if (!folder.is_absolute()) {
    return Refused(page_result::kNameLeavesFolder,
                   "The product folder " + expanded + " is not an absolute path");
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    return Refused(page_result::kPathNotFound,
                   "The product folder " + NativePathToUtf8(folder) + " does not exist");
  }
  ProductLocation location;
  location.folder = folder;
  if (programText.empty()) return location;

  const std::filesystem::path name = PathFromUtf8(programText);
  bool leaves = name.is_absolute() || name.has_root_name() || name.has_root_directory();
  for (const std::filesystem::path& part : name) leaves = leaves || part == "..";
  if (leaves) {
    return Refused(page_result::kNameLeavesFolder,
                   "The product program " + programText + " leads out of the product folder");
  }
  const std::filesystem::path program = (folder / name).lexically_normal();
  if (!std::filesystem::is_regular_file(program, ec)) {
    return Refused(page_result::kFileNotFound,
                   "The product program " + NativePathToUtf8(program) + " does not exist");
  }
  // Links followed: what would start must still be the product's own file.
  const std::filesystem::path realFolder = std::filesystem::canonical(folder, ec);
  const std::filesystem::path realProgram =
      ec ? std::filesystem::path() : std::filesystem::canonical(program, ec);
  if (ec || !IsInside(realProgram, realFolder)) {
    return Refused(
        page_result::kNameLeavesFolder,
        "The product program " + NativePathToUtf8(program) + " leads out of the product folder");
  }
  location.program = program;
  return location;
}
