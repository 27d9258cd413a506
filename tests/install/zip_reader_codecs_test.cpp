// Entries of the methods beyond deflate whose data holds more than one stream, as parallel and
// streaming writers make them: every stream's output arrives, whatever the stream boundaries'
// place among the reader's input blocks.

#include <bzlib.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>

#include "install/zip_builder.h"
#include "install/zip_reader.h"
#include "support/test_environment.h"

namespace {

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string data(size, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

void Put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

// A zstd frame of raw blocks: its length is exactly 9 + 3 per block + the content's.
std::string RawZstdFrame(const std::string& content) {
  std::string frame;
  Put(frame, 0xFD2FB528, 4);
  frame += '\xA0';  // a single segment with a 4-byte content size
  Put(frame, content.size(), 4);
  constexpr size_t kMostPerBlock = 128 * 1024;
  for (size_t at = 0; at < content.size(); at += kMostPerBlock) {
    const size_t length = std::min(kMostPerBlock, content.size() - at);
    const bool last = at + length == content.size();
    Put(frame, (length << 3) | (last ? 1 : 0), 3);  // block type 0: raw
    frame += content.substr(at, length);
  }
  return frame;
}

std::string Bzip2(const std::string& data) {
  std::string out(data.size() + data.size() / 100 + 600, '\0');
  auto length = static_cast<unsigned int>(out.size());
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                                     static_cast<unsigned int>(data.size()), 1, 0, 0),
            BZ_OK);
  out.resize(length);
  return out;
}

std::string Xz(const std::string& data) {
  std::string out(lzma_stream_buffer_bound(data.size()), '\0');
  size_t length = 0;
  EXPECT_EQ(lzma_easy_buffer_encode(1, LZMA_CHECK_CRC32, nullptr,
                                    reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                    reinterpret_cast<uint8_t*>(out.data()), &length, out.size()),
            LZMA_OK);
  out.resize(length);
  return out;
}

struct Collected final : ZipChunkSink {
  size_t Write(uint64_t, const void* data, size_t length) override {
    bytes.append(static_cast<const char*>(data), length);
    return length;
  }
  std::string bytes;
};

TEST(ZipReaderCodecsTest, EntriesOfSeveralStreamsArriveWhole) {
  // The reader reads compressed data in blocks of 256 KiB; this first frame ends on the first.
  const std::string first = Noise(256 * 1024 - 15, 1);  // two blocks
  const std::string second = "a second frame";
  const std::string text(300'000, 'x');
  const std::string more = Noise(70'000, 2) + "tail";
  const struct {
    const char* name;
    uint16_t method;
    std::string data;
    std::string packed;
  } cases[] = {
      {"zstd frames", 93, first + second, RawZstdFrame(first) + RawZstdFrame(second)},
      {"bzip2 streams", 12, text + more + "!", Bzip2(text) + Bzip2(more) + Bzip2("!")},
      // Stream padding (zero bytes, a multiple of four) may stand between xz streams.
      {"xz streams", 95, text + more, Xz(text) + std::string(8, '\0') + Xz(more)},
  };
  ASSERT_EQ(RawZstdFrame(first).size(), 256u * 1024);
  TemporaryFolder temp;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ZipTestEntry entry = ZipFile("e.bin", c.packed);
    entry.method = c.method;
    entry.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(c.data.data()), static_cast<uInt>(c.data.size())));
    entry.recordedSize = static_cast<uint32_t>(c.data.size());
    WriteZip(temp.path() / "s.zip", {entry});
    std::unique_ptr<ZipReader> reader = ZipReader::Open((temp.path() / "s.zip").string());
    ASSERT_TRUE(reader);
    Collected sink;
    std::string error;
    EXPECT_TRUE(reader->Extract(0, sink, error)) << error;
    EXPECT_TRUE(sink.bytes == c.data) << sink.bytes.size() << " of " << c.data.size();
  }
}

}  // namespace
