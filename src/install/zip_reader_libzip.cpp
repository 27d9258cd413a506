#include <zip.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "install/zip_reader.h"

namespace {

// The end-of-central-directory record alone is this long; libzip would take a shorter (even
// empty) file for a new, empty archive.
constexpr uintmax_t kSmallestArchive = 22;

class LibzipReader final : public ZipReader {
 public:
  explicit LibzipReader(zip_t* archive) : archive_(archive) {}
  ~LibzipReader() override { zip_discard(archive_); }

  uint64_t EntryCount() const override {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    return count < 0 ? 0 : static_cast<uint64_t>(count);
  }

  bool Stat(uint64_t index, ZipEntryInfo& info) override {
    zip_stat_t st;
    if (zip_stat_index(archive_, index, 0, &st) != 0) return false;
    if ((st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr) return false;
    info.name = st.name;
    info.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive_, index, 0, &opsys, &attributes) != 0) {
      opsys = ZIP_OPSYS_DOS;
      attributes = 0;
    }
    info.madeOnUnix = opsys == ZIP_OPSYS_UNIX;
    info.unixMode = info.madeOnUnix ? attributes >> 16 : 0;
    info.isDirectory = (!info.name.empty() && info.name.back() == '/') || (attributes & 0x10) != 0;
    return true;
  }

  bool Extract(uint64_t index, ZipChunkSink& sink, std::string& error) override {
    zip_stat_t st;
    if (zip_stat_index(archive_, index, 0, &st) != 0) {
      error = zip_strerror(archive_);
      return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || st.encryption_method != ZIP_EM_NONE) {
      error = "encrypted entry";
      return false;
    }
    if ((st.valid & ZIP_STAT_COMP_METHOD) == 0 ||
        (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE)) {
      error = "unsupported compression method " + std::to_string(st.comp_method);
      return false;
    }
    const uint64_t expected = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (file == nullptr) {
      error = zip_strerror(archive_);
      return false;
    }
    buffer_.resize(kMaxChunk);
    uint64_t total = 0;
    bool ok = true;
    for (;;) {
      const zip_int64_t n = zip_fread(file, buffer_.data(), buffer_.size());
      if (n < 0) {
        error = zip_file_strerror(file);
        ok = false;
        break;
      }
      if (n == 0) break;
      // A stream that inflates past its recorded size is refused before the excess reaches
      // the disk: the free-space check trusted the recorded sizes.
      if (static_cast<uint64_t>(n) > expected - total) {
        error = "more data than the recorded size";
        ok = false;
        break;
      }
      const size_t length = static_cast<size_t>(n);
      if (sink.Write(total, buffer_.data(), length) != length) {
        error = "stopped";
        ok = false;
        break;
      }
      total += length;
    }
    if (ok && total != expected) {
      error = "less data than the recorded size";
      ok = false;
    }
    if (zip_fclose(file) != 0 && ok) {
      error = "read error";
      ok = false;
    }
    return ok;
  }

 private:
  zip_t* archive_;
  std::vector<char> buffer_;
};

}  // namespace

std::unique_ptr<ZipReader> ZipReader::Open(const std::string& utf8Path) {
  std::error_code ec;
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size < kSmallestArchive) return nullptr;
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return nullptr;
  return std::make_unique<LibzipReader>(archive);
}
