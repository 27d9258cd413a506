// The reader's own promises on compressed entries, which it decodes itself: the same bytes in
// chunks of at most kMaxChunk across many compressed-input blocks, and a refusal (never a hang)
// of data that is broken or ends early.

#include "install/zip_reader.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string>

#include "install/zip_builder.h"
#include "support/test_environment.h"

namespace {

struct RecordingSink final : ZipChunkSink {
  size_t Write(uint64_t offset, const void* data, size_t length) override {
    if (offset != bytes.size() || length == 0 || length > ZipReader::kMaxChunk) chunksOk = false;
    bytes.append(static_cast<const char*>(data), length);
    return length;
  }
  std::string bytes;
  bool chunksOk = true;
};

// Half noise, half text: the compressed stream spans several of the reader's input blocks and
// holds both stored and Huffman-coded blocks.
std::string MixedData(size_t size) {
  std::mt19937 random(5);
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    data[i] = (i / 65536) % 2 == 0 ? static_cast<char>(random())
                                   : static_cast<char>("setup data "[i % 11]);
  }
  return data;
}

bool ExtractOnly(const std::filesystem::path& archive, RecordingSink& sink, std::string& error) {
  std::unique_ptr<ZipReader> reader = ZipReader::Open(archive.string());
  if (!reader) {
    error = "not opened";
    return false;
  }
  return reader->Extract(0, sink, error);
}

TEST(ZipReaderTest, DeflatedEntryArrivesWholeInBoundedChunks) {
  TemporaryFolder temp;
  const std::string data = MixedData(3'000'000);
  WriteZip(temp.path() / "a.zip", {ZipFile("big.bin", data)});
  RecordingSink sink;
  std::string error;
  ASSERT_TRUE(ExtractOnly(temp.path() / "a.zip", sink, error)) << error;
  EXPECT_TRUE(sink.chunksOk);
  EXPECT_TRUE(sink.bytes == data);
}

TEST(ZipReaderTest, BrokenOrShortDeflateDataFails) {
  TemporaryFolder temp;
  const std::string data = MixedData(400'000);
  {
    std::string bytes = BuildZip({ZipFile("x.bin", data)});
    const size_t middle = 30 + 5 + 150'000;  // inside the compressed data
    for (size_t i = middle; i < middle + 64; ++i) bytes[i] = static_cast<char>(~bytes[i]);
    WriteFileBytes(temp.path() / "broken.zip", bytes);
    RecordingSink sink;
    std::string error;
    EXPECT_FALSE(ExtractOnly(temp.path() / "broken.zip", sink, error));
    EXPECT_FALSE(error.empty());
  }
  {
    // A stream flushed but never finished: its data runs out before its last block.
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string stream(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(stream.data());
    z.avail_out = static_cast<uInt>(stream.size());
    ASSERT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
    stream.resize(z.total_out);
    deflateEnd(&z);
    // Recorded as stored, then marked deflated in both headers (local: offset 8; central: 10).
    ZipTestEntry entry = ZipFile("x.bin", stream);
    entry.method = 0;
    entry.crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    entry.recordedSize = static_cast<uint32_t>(data.size());
    std::string bytes = BuildZip({entry});
    bytes[8] = 8;
    bytes[bytes.find("PK\x01\x02") + 10] = 8;
    WriteFileBytes(temp.path() / "short.zip", bytes);
    RecordingSink sink;
    std::string error;
    EXPECT_FALSE(ExtractOnly(temp.path() / "short.zip", sink, error));
    EXPECT_NE(error.find("ends early"), std::string::npos) << error;
    EXPECT_TRUE(sink.bytes == data);  // everything the stream held was handed over
  }
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

// Entries whose data holds several streams, as parallel and streaming writers make them: every
// stream's output arrives, wherever the streams end among the reader's input blocks.
TEST(ZipReaderTest, EntriesOfSeveralStreamsArriveWhole) {
  // The reader reads compressed data in blocks of 256 KiB; this first frame ends on the first.
  const std::string first = MixedData(256 * 1024 - 15);  // two blocks
  const std::string second = "a second frame";
  const std::string text(300'000, 'x');
  const std::string more = MixedData(70'000) + "tail";
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
    RecordingSink sink;
    std::string error;
    EXPECT_TRUE(ExtractOnly(temp.path() / "s.zip", sink, error)) << error;
    EXPECT_TRUE(sink.bytes == c.data) << sink.bytes.size() << " of " << c.data.size();
  }
}

// What writers in the wild put in an archive, none of which changes the bytes extracted: a
// self-extracting program in front (offsets not moved), padding between entries, a data
// descriptor, local extra fields, versions and times that differ from the central directory.
TEST(ZipReaderTest, ArchivesOtherToolsWriteOpen) {
  TemporaryFolder temp;
  ZipTestEntry first = ZipFile("a.txt", "first entry");
  first.localExtra = std::string("UT\x05\x00\x01\x00\x00\x00\x00", 9);  // a time stamp field
  ZipTestEntry second = ZipFile("b/c.bin", MixedData(100'000));
  second.dataDescriptor = true;
  second.padding = std::string(37, '\0');
  ZipTestEntry third = ZipFile("d.txt", "third", 0100755);
  third.method = 0;
  third.padding = "junk";
  std::string bytes = std::string(5000, 'M') + BuildZip({first, second, third});
  bytes[5000 + 4] = 10;    // the local header's version needed
  bytes[5000 + 10] = 0x7;  // and its time
  WriteFileBytes(temp.path() / "sfx.zip", bytes);

  std::string cause;
  std::unique_ptr<ZipReader> reader =
      ZipReader::Open((temp.path() / "sfx.zip").string(), nullptr, &cause);
  ASSERT_TRUE(reader) << cause;
  ASSERT_EQ(reader->EntryCount(), 3u);
  const ZipTestEntry* entries[] = {&first, &second, &third};
  for (uint64_t i = 0; i < 3; ++i) {
    RecordingSink sink;
    std::string error;
    EXPECT_TRUE(reader->Extract(i, sink, error)) << i << ": " << error;
    EXPECT_TRUE(sink.bytes == entries[i]->data) << i;
  }
}

// An archive that another tool would read differently is refused whole, with the reason.
TEST(ZipReaderTest, ArchivesThatReadDifferentlyElsewhereAreRefused) {
  TemporaryFolder temp;
  // A stored entry whose data holds a complete entry that a second central record points into.
  const std::string inner = BuildZip({ZipFile("inner.exe", "evil")});
  ZipTestEntry outer = ZipFile("outer.bin", inner.substr(0, inner.find("PK\x01\x02")));
  outer.method = 0;
  ZipTestEntry overlapping = ZipFile("inner.exe", "evil");
  overlapping.recordedOffset = 30 + 9;  // outer's data
  ZipTestEntry otherSize = ZipFile("s.txt", "size");
  otherSize.dataDescriptor = true;
  std::string otherSizeBytes = BuildZip({otherSize});
  otherSizeBytes[22] = 9;  // a local size where the data descriptor would have left zero
  // An entry of 4 GiB and 5 bytes whose writer kept only the low 32 bits of its size in one
  // place: in the central record beside a zip64 field, or in the central directory against a
  // local zip64 field.
  const std::string zip64Sizes = std::string("\x01\x00\x10\x00", 4) +
                                 std::string("\x05\0\0\0\x01\0\0\0", 8) +
                                 std::string("\x05\0\0\0\0\0\0\0", 8);
  ZipTestEntry centralOff = ZipFile("big.bin", "12345");
  centralOff.method = 0;
  centralOff.centralExtra = zip64Sizes;
  ZipTestEntry localOff = centralOff;
  localOff.centralExtra.clear();
  localOff.localExtra = zip64Sizes;
  std::string localOffBytes = BuildZip({localOff});
  localOffBytes.replace(18, 8, 8, '\xff');  // the local sizes are in the zip64 field
  std::string otherMethod = BuildZip({ZipFile("m.txt", "method")});
  otherMethod[8] = 0;  // the local header says stored, the central directory deflated
  const struct {
    std::string bytes;
    std::string cause;
  } cases[] = {
      {BuildZip({outer, overlapping}), "inner.exe overlaps the entry before it"},
      {otherSizeBytes, "local header of s.txt gives other sizes"},
      {otherMethod, "local header of m.txt gives another method"},
      {BuildZip({ZipFile("x", "1"), ZipFile("x", "2")}), "two entries are named x"},
      {BuildZip({centralOff}),
       "the sizes of big.bin are off by a multiple of 4 GiB: 5 and 5 bytes in its 32-bit fields, "
       "4294967301 and 5 in its zip64 field"},
      {localOffBytes,
       "the local header of big.bin gives sizes off by a multiple of 4 GiB: 4294967301 and 5 "
       "bytes, the central directory 5 and 5"},
      {std::string(100, 'M'), "no end-of-central-directory record"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(temp.path() / "bad.zip", c.bytes);
    std::string cause;
    EXPECT_FALSE(ZipReader::Open((temp.path() / "bad.zip").string(), nullptr, &cause));
    EXPECT_NE(cause.find(c.cause), std::string::npos) << cause;
  }
}

}  // namespace
