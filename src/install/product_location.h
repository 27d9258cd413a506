#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// Where the installed product lives, from the folder and program the page names (UTF-8).
//
// `folder` is where the product's setup put it. It may hold environment references written
// `%NAME%` (`%ProgramFiles%\Demo`, `%HOME%/.local/share/demo`), replaced by the variable's value
// on both platforms; it must then be absolute. While the process is elevated (base/elevation.h)
// only the system's known folders are taken (install/known_folder.h), never the environment.
// `program`, optional, names a file inside it by a relative path that may not leave it: no `..`
// component, no root, no drive, and, once links are followed, still inside the folder (a link in
// the product's folder cannot lead elsewhere).
//
// Result codes (0 on success, then `folder` and `program` hold the absolute paths):
//   161  the folder is not absolute, or the program's name or a link leads out of the folder
//   203  a `%NAME%` reference names a variable that is not set (or is empty); elevated, one
//        that is not a known folder
//   3    the folder does not exist (or is not a folder)
//   2    the program does not exist (or is a folder)
// The message says which, naming the paths, for the page and the log.
struct ProductLocation {
  uint32_t result = 0;
  std::string message;
  std::filesystem::path folder;
  std::filesystem::path program;  // empty when no program was named
};

ProductLocation LocateProduct(const std::string& folder, const std::string& program);

// `text` with each `%NAME%` replaced by the variable's value (elevated: the known folder's);
// false (with the name in `missing`)
// when one is not set or empty. A `%` without a closing one, or `%%`, stays as it is.
bool ExpandEnvironmentReferences(const std::string& text, std::string& expanded,
                                 std::string& missing);
