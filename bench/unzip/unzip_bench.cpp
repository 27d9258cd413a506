// ZipEngine against `unzip -qo` and `bsdtar -xf` on three archives this program makes:
// one 1 GiB file deflated, the same file as scripts/pack-release packs it (zstd, level 9), and
// 20,000 small files. Wall time and peak RSS of each, side by side.
//
// unzip reads no zstd, and Debian's bsdtar (3.6.2) fails on zstd entries of 1 MiB or more
// ("Truncated zstd file body"); the zstd archive's baseline is therefore the codec's own tool,
// `zstd -d`, on the entry's compressed data copied out of the archive beforehand: the same
// decoding and the same file written, without the archive around it.
//
//   unzip_bench [work folder] [runs]      default: $TMPDIR/vlm-unzip-bench, 3 runs (best kept)
//
// Each extraction runs in a child process (ZipEngine through this program's --extract mode),
// so every tool is measured the same way: wall time of the child, its peak RSS from wait4. For
// ZipEngine the peak is also given above the child's own baseline before the run.
// Needs about 1.5 GiB free in the work folder.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge/callback_payload.h"
#include "bridge/page_callbacks.h"
#include "install/zip_engine.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBigSize = 1ull << 30;
constexpr int kSmallCount = 20000;

// Text-like bytes: words from a small vocabulary, so deflate works as on real setup payloads.
class TextGenerator {
 public:
  explicit TextGenerator(uint32_t seed) : x_(seed | 1) {}
  void Fill(char* out, size_t n) {
    static const char* kWords[] = {"setup ", "data ",     "install ", "file ",  "value ", "module ",
                                   "0x3F ",  "resource ", "binary\n", "table ", "index ", "zz "};
    while (n > 0) {
      if (pending_.empty()) {
        x_ ^= x_ << 13, x_ ^= x_ >> 17, x_ ^= x_ << 5;
        pending_ = kWords[x_ % 12];
        if ((x_ >> 8) % 5 == 0) pending_ += std::to_string(x_ % 100000);
      }
      const size_t take = std::min(n, pending_.size());
      std::memcpy(out, pending_.data(), take);
      pending_.erase(0, take);
      out += take;
      n -= take;
    }
  }

 private:
  uint32_t x_;
  std::string pending_;
};

struct BigSource {
  TextGenerator text{7};
  uint64_t produced = 0;
};

zip_int64_t BigSourceCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
  auto* source = static_cast<BigSource*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      *source = BigSource();
      return 0;
    case ZIP_SOURCE_READ: {
      const uint64_t n = std::min<uint64_t>(length, kBigSize - source->produced);
      source->text.Fill(static_cast<char*>(data), n);
      source->produced += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = kBigSize;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
      return 2 * sizeof(int);
    case ZIP_SOURCE_FREE:
      delete source;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      return -1;
  }
}

bool MakeBigArchive(const fs::path& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return false;
  zip_source_t* source = zip_source_function(archive, BigSourceCallback, new BigSource());
  const zip_int64_t index = zip_file_add(archive, "payload/big.bin", source, 0);
  if (index < 0) return false;
  zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 1);
  return zip_close(archive) == 0;
}

bool MakeSmallArchive(const fs::path& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return false;
  TextGenerator text(11);
  for (int i = 0; i < kSmallCount; ++i) {
    const size_t size = 512 + (static_cast<size_t>(i) * 7919) % 3584;
    void* bytes = std::malloc(size);
    text.Fill(static_cast<char*>(bytes), size);
    zip_source_t* source = zip_source_buffer(archive, bytes, size, 1);
    const std::string name = "app/d" + std::to_string(i % 200) + "/f" + std::to_string(i) + ".dat";
    if (zip_file_add(archive, name.c_str(), source, 0) < 0) return false;
  }
  return zip_close(archive) == 0;
}

// The compressed data of the archive's entry `name`, as stored, into `out`.
bool CopyCompressedEntry(const fs::path& archive, const char* name, const fs::path& out) {
  int error = 0;
  zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  if (zip == nullptr) return false;
  const zip_int64_t index = zip_name_locate(zip, name, 0);
  zip_file_t* file = index < 0 ? nullptr : zip_fopen_index(zip, index, ZIP_FL_COMPRESSED);
  bool ok = file != nullptr;
  std::ofstream to(out, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 20);
  while (ok) {
    const zip_int64_t n = zip_fread(file, buffer.data(), buffer.size());
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    to.write(buffer.data(), n);
  }
  if (file != nullptr) zip_fclose(file);
  zip_discard(zip);
  return ok && static_cast<bool>(to.flush());
}

uint64_t StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(field, 0) == 0)
      return std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
  }
  return 0;
}

// --extract <archive> <folder>: one ZipEngine run; prints "baseline_kb peak_kb result".
int ExtractMode(const char* archive, const char* folder) {
  const uint64_t baseline = StatusKb("VmRSS:");
  auto engine = std::make_shared<ZipEngine>();
  engine->removeArchiveWhenDone = false;
  // Builds each progress script as the window responder does; no window takes it.
  engine->onProgress = [](const CallbackPayload& payload) {
    (void)FormatScript(kProgressScriptTemplate, EncodeCallbackPayload(payload));
  };
  if (!engine->Start(archive, folder, "bench")) return 2;
  while (engine->running.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::printf("%llu %llu %u\n", static_cast<unsigned long long>(baseline),
              static_cast<unsigned long long>(StatusKb("VmHWM:")), engine->report.result);
  return engine->report.result == 0 ? 0 : 1;
}

struct Measure {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakKb = 0;
  std::string output;
  int status = -1;
};

Measure RunChild(std::vector<std::string> args, const fs::path& outputFile) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  Measure m;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return m;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.peakKb = usage.ru_maxrss;
  m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(outputFile);
  std::getline(in, m.output);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--extract") return ExtractMode(argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--make") {
    const bool big = std::string(argv[2]) == "big";
    return (big ? MakeBigArchive : MakeSmallArchive)(argv[3]) ? 0 : 1;
  }
  if (argc == 4 && std::string(argv[1]) == "--make") {
    const bool big = std::string(argv[2]) == "big";
    return (big ? MakeBigArchive : MakeSmallArchive)(argv[3]) ? 0 : 1;
  }

  const char* tmp = std::getenv("TMPDIR");
  const fs::path work = argc > 1
                            ? fs::path(argv[1])
                            : fs::path(tmp != nullptr && *tmp ? tmp : "/tmp") / "vlm-unzip-bench";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  fs::create_directories(work);
  const fs::path self = fs::canonical("/proc/self/exe");

  struct Archive {
    const char* label;
    fs::path path;
    const char* kind;
  };
  const std::vector<Archive> archives = {{"1 GiB single file", work / "big.zip", "big"},
                                         {"1 GiB file, zstd", work / "big-zstd.zip", "zstd"},
                                         {"20,000 small files", work / "small.zip", "small"}};
  for (const Archive& a : archives) {
    if (!fs::exists(a.path) && std::string(a.kind) == "zstd") {
      // The same payload, repacked by the vendor's tool.
      std::printf("making %s ...\n", a.path.c_str());
      std::fflush(stdout);
      const fs::path payload = work / "big-payload";
      fs::create_directories(payload);
      const Measure unpacked =
          RunChild({"bsdtar", "-xf", (work / "big.zip").string(), "-C", payload.string()},
                   work / "make.txt");
      const Measure packed =
          RunChild({"python3", VLM_PACK_RELEASE, payload.string(), a.path.string(), "--level", "9"},
                   work / "make.txt");
      fs::remove_all(payload);
      if (unpacked.status != 0 || packed.status != 0) {
        std::fprintf(stderr, "cannot make %s\n", a.path.c_str());
        return 1;
      }
    }
    if (std::string(a.kind) == "zstd" && !fs::exists(work / "big.zst") &&
        !CopyCompressedEntry(a.path, "payload/big.bin", work / "big.zst")) {
      std::fprintf(stderr, "cannot copy the zstd data out of %s\n", a.path.c_str());
      return 1;
    }
    if (!fs::exists(a.path)) {
      std::printf("making %s ...\n", a.path.c_str());
      std::fflush(stdout);
      // In a child, so that this process stays small: children start from its RSS.
      const Measure made =
          RunChild({self.string(), "--make", a.kind, a.path.string()}, work / "make.txt");
      if (made.status != 0) {
        std::fprintf(stderr, "cannot make %s\n", a.path.c_str());
        return 1;
      }
    }
  }

  std::printf("\nbench process RSS %.1f MB (a child's peak RSS starts from it)\n",
              StatusKb("VmRSS:") / 1024.0);
  std::printf("%-20s %-12s %8s %8s %8s %12s %s\n", "archive", "tool", "best s", "median s", "cpu s",
              "peak RSS MB", "notes");
  for (const Archive& a : archives) {
    const fs::path log = work / "child.txt";
    // Each run extracts into a folder of its own. Those of the many-file archive stay until its
    // rounds are over: deleting 20,000 files just before a run makes the file system's inode
    // allocation slow for whichever tool comes next.
    const bool manyFiles = std::string(a.kind) == "small";
    struct Tool {
      const char* name;
      std::vector<std::string> args;
      std::vector<Measure> measures;
    };
    std::vector<fs::path> outputs;
    const bool zstd = std::string(a.kind) == "zstd";
    std::vector<Tool> tools = {
        {"ZipEngine", {}, {}}, {zstd ? "zstd -d" : "unzip -qo", {}, {}}, {"bsdtar -xf", {}, {}}};
    // Rounds of one run per tool, so that a slow spell of the shared disk hits every tool alike.
    for (int r = 0; r < runs; ++r) {
      for (Tool& tool : tools) {
        const fs::path out = work / ("out-" + std::to_string(outputs.size()));
        outputs.push_back(out);
        fs::remove_all(out);
        fs::create_directories(out);
        sync();
        std::vector<std::string> args;
        const std::string name = tool.name;
        if (name == "ZipEngine") args = {self.string(), "--extract", a.path.string(), out.string()};
        if (name == "unzip -qo") args = {"unzip", "-qo", a.path.string(), "-d", out.string()};
        if (name == "zstd -d") {
          args = {"zstd",
                  "-d",
                  "-q",
                  "-f",
                  (work / "big.zst").string(),
                  "-o",
                  (out / "big.bin").string()};
        }
        if (name == "bsdtar -xf") args = {"bsdtar", "-xf", a.path.string(), "-C", out.string()};
        Measure m = RunChild(args, log);
        if (!manyFiles) fs::remove_all(out);
        if (m.status != 0) {
          std::printf("%-20s %-12s failed (status %d)\n", a.label, tool.name, m.status);
          continue;
        }
        tool.measures.push_back(m);
      }
    }
    for (Tool& tool : tools) {
      if (tool.measures.empty()) continue;
      std::sort(tool.measures.begin(), tool.measures.end(),
                [](const Measure& x, const Measure& y) { return x.seconds < y.seconds; });
      const Measure& best = tool.measures.front();
      const double median = tool.measures[tool.measures.size() / 2].seconds;
      std::string notes;
      if (std::string(tool.name) == "ZipEngine" && !best.output.empty()) {
        unsigned long long baseline = 0, peak = 0;
        unsigned result = 0;
        if (std::sscanf(best.output.c_str(), "%llu %llu %u", &baseline, &peak, &result) == 3) {
          notes = "above own baseline " + std::to_string((peak - baseline) / 1024.0).substr(0, 5) +
                  " MB, result " + std::to_string(result);
        }
      }
      std::printf("%-20s %-12s %8.2f %8.2f %8.2f %12.1f %s\n", a.label, tool.name, best.seconds,
                  median, best.cpuSeconds, best.peakKb / 1024.0, notes.c_str());
      std::fflush(stdout);
    }
    for (const fs::path& out : outputs) fs::remove_all(out);
  }
  return 0;
}
