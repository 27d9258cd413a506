// libFuzzer target for the archive edge: the input's bytes are the archive that a doUnZip
// extracts. The engine runs its worker's body on this thread into a scratch folder, and after
// each input:
// - nothing exists beside the extraction folder that was not there before (no entry reached
//   outside it, whatever its name or links);
// - every link made inside the folder resolves inside it;
// - the run ended with one of the results the page knows, and no longer counts as running.
// Sanitizer reports and violations abort, which libFuzzer reports with the input that caused it.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "base/page_results.h"
#include "install/zip_engine.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const char* what, const fs::path& path) {
  std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, path.c_str());
  std::abort();
}

// <temp>/zip-fuzz-<pid>/archive.zip is extracted into <temp>/zip-fuzz-<pid>/box/out; a file
// beside both shows whether anything was written or removed outside.
struct Scratch {
  Scratch() {
    root = fs::temp_directory_path() / ("zip-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "box");
    std::ofstream(root / "witness") << "untouched";
  }
  fs::path root;
  fs::path archive = root / "archive.zip";
  fs::path out = root / "box" / "out";
};

void CheckNothingOutside(const Scratch& scratch) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(scratch.root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) Fail("cannot walk the scratch folder", scratch.root);
    const fs::path& path = it->path();
    if (path == scratch.archive || path == scratch.root / "box" || path == scratch.out ||
        path == scratch.root / "witness") {
      continue;
    }
    const fs::path inside = path.lexically_relative(scratch.out);
    if (inside.empty() || *inside.begin() == "..") Fail("written outside the folder", path);
  }
  std::ifstream witness(scratch.root / "witness");
  std::string text;
  std::getline(witness, text);
  if (text != "untouched") Fail("a file outside the folder changed", scratch.root / "witness");
}

void CheckLinksStayInside(const Scratch& scratch) {
  std::error_code ec;
  if (!fs::exists(scratch.out, ec)) return;
  const fs::path folder = fs::canonical(scratch.out);
  for (auto it = fs::recursive_directory_iterator(scratch.out, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) Fail("cannot walk the extraction folder", scratch.out);
    if (!it->is_symlink(ec)) continue;
    const fs::path resolved = fs::weakly_canonical(it->path(), ec);
    if (ec) continue;  // a loop of links inside: it leads nowhere
    const fs::path inside = resolved.lexically_relative(folder);
    if (inside.empty() || *inside.begin() == "..") Fail("a link leads outside", it->path());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  std::error_code ec;
  fs::remove_all(scratch.out, ec);
  {
    std::ofstream archive(scratch.archive, std::ios::binary | std::ios::trunc);
    archive.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  auto engine = std::make_shared<ZipEngine>();
  engine->sourcePath = scratch.archive.string();
  engine->destinationPath = scratch.out.string();
  engine->running = true;
  engine->Run();

  switch (engine->report.result) {
    case page_result::kSuccess:
    case page_result::kFileNotFound:
    case page_result::kDiskFull:
    case page_result::kCancelled:
    case page_result::kEntryFailed:
      break;
    default:
      Fail("a result the page does not know", scratch.archive);
  }
  if (engine->running.load()) Fail("still running after the run", scratch.archive);
  if (fs::exists(scratch.archive, ec)) Fail("the archive was not deleted", scratch.archive);
  CheckNothingOutside(scratch);
  CheckLinksStayInside(scratch);
  return 0;
}
