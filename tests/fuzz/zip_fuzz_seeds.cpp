// Writes the seed archives of zip_extract_fuzzer into the folder named on the command line:
// the well-formed and hostile archives that the extraction tests build, kept small so that
// the fuzzer can vary every byte.
//
//   zip_fuzz_seeds <folder>

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "install/zip_builder.h"

namespace {

ZipTestEntry With(ZipTestEntry e, void (*change)(ZipTestEntry&)) {
  change(e);
  return e;
}

// An entry whose data `packed` is `data` compressed with ZIP method `method`.
ZipTestEntry Packed(std::string name, const std::string& data, uint16_t method,
                    std::string packed) {
  ZipTestEntry e = ZipFile(std::move(name), std::move(packed));
  e.method = method;
  e.crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  e.recordedSize = static_cast<uint32_t>(data.size());
  return e;
}

std::string Zstd(const std::string& data) {
  std::string out(ZSTD_compressBound(data.size()), '\0');
  out.resize(ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3));
  return out;
}

std::string Xz(const std::string& data) {
  std::string out(lzma_stream_buffer_bound(data.size()), '\0');
  size_t length = 0;
  lzma_easy_buffer_encode(1, LZMA_CHECK_CRC32, nullptr,
                          reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                          reinterpret_cast<uint8_t*>(out.data()), &length, out.size());
  out.resize(length);
  return out;
}

// ZIP's LZMA: version, properties size and properties, then raw data with an end marker.
std::string Lzma(const std::string& data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 1);
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  uint8_t properties[5];
  lzma_properties_encode(filters, properties);
  std::string out(data.size() + 4096, '\0');
  size_t length = 0;
  lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(data.data()),
                         data.size(), reinterpret_cast<uint8_t*>(out.data()), &length, out.size());
  out.resize(length);
  return std::string("\x10\x02\x05\x00", 4) + std::string(properties, properties + 5) + out;
}

std::string Bzip2(const std::string& data) {
  std::string out(data.size() + data.size() / 100 + 600, '\0');
  auto length = static_cast<unsigned int>(out.size());
  BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                           static_cast<unsigned int>(data.size()), 1, 0, 0);
  out.resize(length);
  return out;
}

std::vector<std::pair<std::string, std::vector<ZipTestEntry>>> Seeds() {
  const std::string text = "setup data setup data install file value module 0x3F\n";
  ZipTestEntry dos = ZipFile("a\\win\\path.txt", "x");
  dos.madeBy = 0;
  dos.externalAttributes = 0x20;
  ZipTestEntry cp437 = ZipFile("caf\x82.txt", "cp437");
  cp437.madeBy = 0;
  ZipTestEntry glyphs = ZipFile("\x01smile\x82.txt", "x");
  glyphs.madeBy = 0;
  ZipTestEntry marked = ZipFile(
      "donn\xc3\xa9"
      "es/\xe9\x9b\xaa.txt",
      "snow");
  marked.utf8Flag = true;
  ZipTestEntry badUtf8 = ZipFile("bad\xff\xfe.txt", "bytes");
  badUtf8.utf8Flag = true;
  ZipTestEntry disguised = ZipFile("readme.txt", "text");
  disguised.localName = "setup.exe";
  return {
      {"tree",
       {ZipFile("top.txt", "hello"), ZipFile("a/b/c.txt", text),
        With(ZipFile("a/raw.bin", text), [](ZipTestEntry& e) { e.method = 0; }),
        ZipDirectory("empty/dir/"), dos, ZipFile("run.sh", "#!/bin/sh\n", 0100755)}},
      {"empty", {}},
      {"empty-files", {ZipFile("a.txt", ""), ZipFile("d/b.txt", "")}},
      {"names-outside",
       {ZipFile("../evil.txt", "x"), ZipFile("a/../../evil.txt", "x"), ZipFile("..\\evil.txt", "x"),
        ZipFile("/tmp/evil.txt", "x"), ZipFile("C:evil.txt", "x"),
        ZipFile("//server/share/evil.txt", "x"), ZipFile("\\\\server\\share\\evil.txt", "x"),
        ZipFile("..", "x")}},
      {"names-control", {glyphs, ZipFile("line\nbreak", "x"), ZipFile("del\x7f", "x")}},
      {"names-encoded", {cp437, marked}},
      {"name-bad-utf8", {ZipFile("a", "1"), badUtf8}},
      {"duplicates", {ZipFile("setup.exe", "good"), ZipFile("setup.exe", "evil", 0100755)}},
      {"duplicates-spelled", {ZipFile("bin/setup.exe", "good"), ZipFile("bin\\./setup.exe", "x")}},
      {"local-header-disagrees", {disguised}},
      {"bad-crc", {With(ZipFile("bad.bin", text), [](ZipTestEntry& e) { e.crc = 0x12345678; })}},
      {"bad-size", {With(ZipFile("big.bin", text), [](ZipTestEntry& e) { e.recordedSize = 9; })}},
      {"encrypted",
       {With(ZipFile("e.bin", text),
             [](ZipTestEntry& e) { e.encryptedFlag = true, e.method = 0; })}},
      {"bzip2", {With(ZipFile("m.bin", text), [](ZipTestEntry& e) { e.method = 12; })}},
      {"methods",
       {Packed("z.bin", text, 93, Zstd(text)), Packed("x.bin", text, 95, Xz(text)),
        With(Packed("l.bin", text, 14, Lzma(text)), [](ZipTestEntry& e) { e.moreFlags = 2; }),
        Packed("b.bin", text, 12, Bzip2(text))}},
      {"streams",
       {Packed("z.bin", text + text, 93, Zstd(text) + Zstd(text)),
        Packed("x.bin", text + text, 95, Xz(text) + std::string(4, '\0') + Xz(text)),
        Packed("b.bin", text + text, 12, Bzip2(text) + Bzip2(text))}},
      {"zip64-fields",
       {With(ZipFile("w.bin", text),
             [](ZipTestEntry& e) {
               e.centralExtra = std::string("\x01\x00\x10\x00", 4) + std::string(16, '\x01');
             })}},
      {"padding-descriptors",
       {With(ZipFile("p.txt", text), [](ZipTestEntry& e) { e.padding = "SFX"; }),
        With(ZipFile("d.txt", text), [](ZipTestEntry& e) { e.dataDescriptor = true; })}},
      {"links-libraries",
       {ZipSymlink("bin/tool", "../lib/libx.so"), ZipFile("lib/libx.so.1.2", "ELF", 0100755),
        ZipSymlink("lib/libx.so", "libx.so.1"), ZipSymlink("lib/libx.so.1", "libx.so.1.2")}},
      {"links-outside",
       {ZipSymlink("up", ".."), ZipSymlink("abs", "/etc"), ZipSymlink("d/up", ".."),
        ZipSymlink("x", "d/up/..")}},
      {"links-ordered", {ZipSymlink("l1", "p/.."), ZipSymlink("p", ".")}},
      {"links-nested", {ZipDirectory("sub/"), ZipSymlink("d2", "sub"), ZipSymlink("d2/y", "z")}},
      {"links-written-through",
       {ZipSymlink("lib", "/tmp"), ZipDirectory("real/"), ZipFile("lib/x", "x")}},
      {"file-below-file", {ZipFile("plain", ""), ZipFile("plain/below.txt", "x")}},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zip_fuzz_seeds <folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  for (const auto& [name, entries] : Seeds()) WriteZip(folder / (name + ".zip"), entries);
  const std::string tree = BuildZip(Seeds().front().second);
  WriteFileBytes(folder / "truncated.zip", tree.substr(0, tree.size() / 2));
  return 0;
}
