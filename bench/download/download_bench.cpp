// Download throughput and memory: the direct transfer and the background job against
// `curl -s -o`, all fetching the same file from a loopback server.
//
//   download_bench [--size-mib N] [--small-mib N] [--rounds N] [--dir PATH] [--link-mbit N]
//
// --dir holds the served file and the downloads ($TMPDIR by default); a tmpfs such as /dev/shm
// takes the disk out of the comparison.
// Each download runs in a child process of its own, so its peak RSS is its own. The file is
// fetched at two sizes to show that memory does not grow with the file. Targets: each transfer
// at least 0.9 x curl's throughput; peak RSS independent of the file size.
// Loopback runs as fast as the machine's cores allow, so the server, the transfer and any
// hashing compete for them; a last run at --size-mib has the server pace its bodies to
// --link-mbit (1000 by default, 0 for none), the fastest link most users have.
//
// Signed archives: "direct + verify" and "job + verify" are the two transfers of an engine with
// a key built in and the file's signature (a fresh P-256 key of this run); the archive is hashed
// while it arrives, so what the check costs is the difference to the same transfer without a
// key. Target: under 5 % of the download's time. "verify alone" times a verification of the
// file just served (in the page cache, as it is right after a download) reading it whole: the
// cost of the check where the bytes could not be followed as they arrived.
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/utf_convert.h"
#include "bridge/callback_payload.h"
#include "download/download_engine.h"
#include "support/fault_http_server.h"
#include "trust/archive_signature.h"

namespace fs = std::filesystem;

namespace {

struct Sample {
  double seconds = 0;
  double cpuSeconds = 0;
  long maxRssKiB = 0;
  int exitCode = -1;
};

// Runs `argv` as a child and measures its wall time and peak RSS.
Sample RunChild(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Sample sample;
  sample.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  sample.maxRssKiB = usage.ru_maxrss;
  sample.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  sample.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return sample;
}

// The child's side: one download through the engine, result as exit code (0 = success). With
// a key (base64 DER) the engine verifies the archive against `signature` too.
int RunEngineChild(const std::string& url, const std::string& dest, const std::string& key = "",
                   const std::string& signature = "") {
  auto engine = std::make_shared<DownloadEngine>();
  engine->url = Utf8ToUtf16(url);
  engine->destPath = dest;
  if (!key.empty()) {
    engine->archiveKey = DecodeBase64(key).value_or(std::vector<uint8_t>());
    engine->signature = signature;
  }
  uint32_t result = 1;
  engine->onComplete = [&](const CallbackPayload& p) { result = p.result; };
  engine->Run();
  if (result != 0) std::fprintf(stderr, "download failed: %u\n", result);
  return result == 0 ? 0 : 1;
}

void MakeBody(const fs::path& file, uint64_t mib) {
  std::vector<char> block(1 << 20);
  std::mt19937_64 random(42);
  for (size_t i = 0; i < block.size(); i += 8) {
    const uint64_t value = random();
    std::memcpy(&block[i], &value, 8);
  }
  std::ofstream out(file, std::ios::binary);
  for (uint64_t i = 0; i < mib; ++i) {
    block[0] = static_cast<char>(i);  // no two blocks alike
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

// A fresh P-256 key pair; the file's signature and the public key, both base64 of DER.
struct Signed {
  std::string key;
  std::string signature;
};

Signed SignFile(const fs::path& file) {
  EVP_PKEY* pair = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  unsigned char* der = nullptr;
  const int derLength = i2d_PUBKEY(pair, &der);
  Signed made;
  made.key = Base64Encode(
      std::string_view(reinterpret_cast<const char*>(der), static_cast<size_t>(derLength)));
  OPENSSL_free(der);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, pair);
  std::ifstream in(file, std::ios::binary);
  std::vector<char> block(1 << 20);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    EVP_DigestSignUpdate(context, block.data(), static_cast<size_t>(in.gcount()));
  }
  size_t length = 0;
  EVP_DigestSignFinal(context, nullptr, &length);
  std::string signature(length, '\0');
  EVP_DigestSignFinal(context, reinterpret_cast<unsigned char*>(signature.data()), &length);
  signature.resize(length);
  made.signature = Base64Encode(signature);
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(pair);
  return made;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Row {
  std::string name;
  std::vector<double> seconds;
  std::vector<double> cpuSeconds;
  long maxRssKiB = 0;
  bool failed = false;
};

// `linkMbit` 0: as fast as loopback goes.
void Measure(const std::string& self, const fs::path& dir, uint64_t mib, int rounds,
             double linkMbit = 0) {
  const fs::path bodyFile = dir / ("bench-body-" + std::to_string(mib) + ".bin");
  MakeBody(bodyFile, mib);
  sync();
  std::vector<std::string> serverOptions = {"--body-file", bodyFile.string()};
  if (linkMbit > 0)
    serverOptions.insert(serverOptions.end(), {"--rate-mbit", std::to_string(linkMbit)});
  FaultHttpServer server(serverOptions);
  const std::string plainUrl = server.Url("/archive.bin");
  // The storage host name and signature marker in the path send it the direct way.
  const std::string signedUrl =
      server.Url("/bucket.s3.amazonaws.com/archive.bin?X-Amz-Algorithm=AWS4-HMAC-SHA256");
  const fs::path dest = dir / "bench-dest" / "archive.bin";
  fs::create_directories(dest.parent_path());

  const Signed signedBody = SignFile(bodyFile);
  std::vector<Row> rows(5);
  rows[0].name = "curl -s -o";
  rows[1].name = "direct transfer";
  rows[2].name = "background job";
  rows[3].name = "direct + verify";
  rows[4].name = "job + verify";
  for (int round = 0; round < rounds; ++round) {
    for (Row& row : rows) {
      std::vector<std::string> args;
      if (row.name == "curl -s -o") {
        args = {"curl", "-s", "--noproxy", "*", "-o", dest.string(), plainUrl};
      } else if (row.name == "direct + verify" || row.name == "job + verify") {
        args = {self,          "--child",      row.name == "job + verify" ? plainUrl : signedUrl,
                dest.string(), signedBody.key, signedBody.signature};
      } else {
        args = {self, "--child", row.name == "direct transfer" ? signedUrl : plainUrl,
                dest.string()};
      }
      const Sample sample = RunChild(args);
      std::error_code ec;
      const uint64_t size = fs::file_size(dest, ec);
      if (sample.exitCode != 0 || size != mib << 20) row.failed = true;
      row.seconds.push_back(sample.seconds);
      row.cpuSeconds.push_back(sample.cpuSeconds);
      row.maxRssKiB = std::max(row.maxRssKiB, sample.maxRssKiB);
      fs::remove(dest, ec);
      // Each run starts with the previous run's dirty pages written out, not competing with it.
      sync();
    }
  }
  std::vector<double> verifySeconds;
  const std::vector<uint8_t> key = DecodeBase64(signedBody.key).value_or(std::vector<uint8_t>());
  const std::vector<uint8_t> signature =
      DecodeBase64(signedBody.signature).value_or(std::vector<uint8_t>());
  bool verified = true;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    verified &= VerifyFileSignature(key, bodyFile, signature) == SignatureVerdict::kValid;
    verifySeconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  fs::remove(bodyFile);

  // Median and best: on a shared machine the best run is the one least disturbed by others.
  const double curlMedian = Median(rows[0].seconds);
  const double curlBest = *std::min_element(rows[0].seconds.begin(), rows[0].seconds.end());
  const std::string link =
      linkMbit > 0 ? " over a " + std::to_string(static_cast<int>(linkMbit)) + " Mbit/s link" : "";
  std::printf("\n%llu MiB%s, %d rounds (MB/s = 10^6 bytes per second, from the median)\n",
              static_cast<unsigned long long>(mib), link.c_str(), rounds);
  std::printf("%-16s %8s %8s %8s %8s %8s %9s %13s\n", "", "median s", "best s", "MB/s", "x curl",
              "best x", "CPU s", "peak RSS MiB");
  for (const Row& row : rows) {
    const double median = Median(row.seconds);
    const double best = *std::min_element(row.seconds.begin(), row.seconds.end());
    const double mbps = static_cast<double>(mib << 20) / median / 1e6;
    std::printf("%-16s %8.3f %8.3f %8.1f %8.2f %8.2f %9.3f %13.1f%s\n", row.name.c_str(), median,
                best, mbps, curlMedian / median, curlBest / best, Median(row.cpuSeconds),
                static_cast<double>(row.maxRssKiB) / 1024.0, row.failed ? "  FAILED" : "");
  }
  const double verify = Median(verifySeconds);
  std::printf("%-16s %8.3f %8.3f %8.1f%s\n", "verify alone", verify,
              *std::min_element(verifySeconds.begin(), verifySeconds.end()),
              static_cast<double>(mib << 20) / verify / 1e6, verified ? "" : "  FAILED");
  // The check's share: the keyed transfer's extra time over the same transfer without a key.
  const auto share = [&](const Row& keyed, const Row& plain) {
    return 100.0 * (Median(keyed.seconds) - Median(plain.seconds)) / Median(plain.seconds);
  };
  std::printf(
      "signature check's share of the download: %+.1f %% (direct), %+.1f %% (job); "
      "read whole afterwards it would be %.1f %% (direct)\n",
      share(rows[3], rows[1]), share(rows[4], rows[2]), 100.0 * verify / Median(rows[1].seconds));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return RunEngineChild(argv[2], argv[3]);
  if (argc == 6 && std::string(argv[1]) == "--child") {
    return RunEngineChild(argv[2], argv[3], argv[4], argv[5]);
  }

  uint64_t sizeMib = 1024;
  uint64_t smallMib = 64;
  int rounds = 3;
  double linkMbit = 1000;
  const char* tmp = std::getenv("TMPDIR");
  fs::path dir = tmp != nullptr && *tmp != '\0' ? fs::path(tmp) : fs::path("/tmp");
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--size-mib") sizeMib = std::stoull(argv[i + 1]);
    if (option == "--small-mib") smallMib = std::stoull(argv[i + 1]);
    if (option == "--rounds") rounds = std::stoi(argv[i + 1]);
    if (option == "--dir") dir = argv[i + 1];
    if (option == "--link-mbit") linkMbit = std::stod(argv[i + 1]);
  }
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  Measure(self, dir, smallMib, rounds);
  Measure(self, dir, sizeMib, rounds);
  if (linkMbit > 0) Measure(self, dir, sizeMib, rounds, linkMbit);
  return 0;
}
