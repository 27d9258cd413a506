#include "install/zip_builder.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

ZipTestEntry ZipFile(std::string name, std::string data, uint32_t mode) {
  ZipTestEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  e.externalAttributes = mode << 16;
  return e;
}

ZipTestEntry ZipDirectory(std::string name) {
  ZipTestEntry e;
  e.name = std::move(name);
  e.method = 0;
  e.externalAttributes = (040755u << 16) | 0x10;
  return e;
}

ZipTestEntry ZipSymlink(std::string name, std::string target) {
  ZipTestEntry e;
  e.name = std::move(name);
  e.data = std::move(target);
  e.method = 0;
  e.externalAttributes = 0120777u << 16;
  return e;
}

std::string BuildZip(const std::vector<ZipTestEntry>& entries) {
  std::string out;
  std::string central;
  for (const ZipTestEntry& e : entries) {
    const std::string body = e.method == 8 ? Deflate(e.data) : e.data;
    const uint32_t trueCrc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
    const uint32_t crc = e.crc.value_or(trueCrc);
    const uint32_t size = e.recordedSize.value_or(static_cast<uint32_t>(e.data.size()));
    const uint16_t flags = (e.utf8Flag ? 0x0800 : 0) | (e.encryptedFlag ? 0x0001 : 0) |
                           (e.dataDescriptor ? 0x0008 : 0) | e.moreFlags;
    out += e.padding;
    const uint32_t offset = static_cast<uint32_t>(out.size());

    auto common = [&](std::string& rec, const std::string& name, bool deferred, size_t extra) {
      Put16(rec, 20);  // version needed
      Put16(rec, flags);
      Put16(rec, e.method);
      Put16(rec, 0);       // time
      Put16(rec, 0x5A21);  // date (2025-01-01)
      Put32(rec, deferred ? 0 : crc);
      Put32(rec, deferred ? 0 : static_cast<uint32_t>(body.size()));
      Put32(rec, deferred ? 0 : size);
      Put16(rec, static_cast<uint32_t>(name.size()));
      Put16(rec, static_cast<uint32_t>(extra));
    };
    const std::string& localName = e.localName.value_or(e.name);
    Put32(out, 0x04034b50);
    common(out, localName, e.dataDescriptor, e.localExtra.size());
    out += localName;
    out += e.localExtra;
    out += body;
    if (e.dataDescriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      Put32(out, static_cast<uint32_t>(body.size()));
      Put32(out, size);
    }

    Put32(central, 0x02014b50);
    Put16(central, (static_cast<uint32_t>(e.madeBy) << 8) | 20);
    common(central, e.name, false, e.centralExtra.size());
    Put16(central, 0);  // comment length
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, e.externalAttributes);
    Put32(central, e.recordedOffset.value_or(offset));
    central += e.name;
    central += e.centralExtra;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

void WriteZip(const std::filesystem::path& path, const std::vector<ZipTestEntry>& entries) {
  WriteFileBytes(path, BuildZip(entries));
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}
