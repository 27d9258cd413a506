#include "install/zip_layout.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kEndLength = 22;
constexpr size_t kZip64EndLength = 56;
constexpr size_t kZip64LocatorLength = 20;
constexpr size_t kCentralLength = 46;
constexpr size_t kLocalLength = 30;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kDataDescriptorFlag = 0x0008;
constexpr uint32_t kUnknown32 = 0xffffffffu;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}
uint64_t Get64(const uint8_t* p) {
  return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// An entry as the central directory records it, with what the reading of its local header adds.
struct Entry {
  std::string name;
  ZipLayoutEntry recorded;
  uint64_t offset = 0;   // of the local header, from the layout's base
  uint64_t dataEnd = 0;  // absolute
};

// The values of the zip64 extended-information field of `extra` (as many bytes of them as
// `extra` holds); nullopt when there is no such field.
std::optional<std::string_view> Zip64Values(const std::string& extra) {
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const auto* p = reinterpret_cast<const uint8_t*>(extra.data()) + at;
    const uint16_t id = Get16(p);
    const size_t length = Get16(p + 2);
    if (id == kZip64ExtraId) {
      return std::string_view(extra).substr(at + 4, std::min(length, extra.size() - at - 4));
    }
    at += 4 + length;
  }
  return std::nullopt;
}

// The zip64 extended-information field of `extra`, replacing the recorded values that are all
// ones by the 64-bit ones, in the order the format gives them. False when the field is too short
// for the values it must carry.
bool ApplyZip64(const std::string& extra, std::initializer_list<uint64_t*> fields) {
  const std::optional<std::string_view> values = Zip64Values(extra);
  if (!values) return true;  // no field: the values stay as recorded
  size_t used = 0;
  for (uint64_t* field : fields) {
    if (*field != kUnknown32) continue;
    if (used + 8 > values->size()) return false;
    *field = Get64(reinterpret_cast<const uint8_t*>(values->data()) + used);
    used += 8;
  }
  return true;
}

// A size of 4 GiB or more that a writer put in a 32-bit field keeps only its low 32 bits: two
// sizes of one entry that differ by a multiple of 4 GiB tell of that fault. Which one is true
// only the data could tell, after 4 GiB or more of it; other readers fail such entries too
// (truncated to the smaller size, or the larger written and the run failed), so the archive is
// refused at once, with a cause that says so.
bool OffByMultipleOf4GiB(uint64_t a, uint64_t b) {
  return a != b && (a & kUnknown32) == (b & kUnknown32);
}

// When a record's 32-bit sizes are given and a zip64 field holds both sizes anyway (as some
// writers always add it), the cause if they are off by a multiple of 4 GiB; else empty.
std::string SizesOffBy4GiB(const std::string& name, uint64_t size, uint64_t compressed,
                           const std::string& extra) {
  const std::optional<std::string_view> values = Zip64Values(extra);
  if (size == kUnknown32 || compressed == kUnknown32 || !values || values->size() < 16) return {};
  const auto* p = reinterpret_cast<const uint8_t*>(values->data());
  const uint64_t wideSize = Get64(p);
  const uint64_t wideCompressed = Get64(p + 8);
  if (!OffByMultipleOf4GiB(size, wideSize) && !OffByMultipleOf4GiB(compressed, wideCompressed)) {
    return {};
  }
  return "the sizes of " + name + " are off by a multiple of 4 GiB: " + std::to_string(size) +
         " and " + std::to_string(compressed) + " bytes in its 32-bit fields, " +
         std::to_string(wideSize) + " and " + std::to_string(wideCompressed) +
         " in its zip64 field";
}

class LayoutReader {
 public:
  LayoutReader(uint64_t fileSize, const ZipByteSource& read, std::string& cause)
      : fileSize_(fileSize), read_(read), cause_(cause) {}

  std::optional<ZipLayout> Read() {
    const size_t tailLength =
        static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndLength + 65535));
    std::vector<uint8_t> tail(tailLength);
    const uint64_t tailStart = fileSize_ - tailLength;
    if (tailLength < kEndLength || !read_(tailStart, tail.data(), tailLength)) {
      return Fail("no end-of-central-directory record");
    }
    // The last record that leads to a central directory wins: earlier signatures may sit in
    // compressed data or a comment.
    std::string firstCause;
    for (size_t at = tailLength - kEndLength + 1; at-- > 0;) {
      if (Get32(&tail[at]) != kEndSignature) continue;
      std::optional<ZipLayout> layout = FromEnd(tailStart + at, &tail[at]);
      if (layout) return layout;
      if (firstCause.empty()) firstCause = cause_;
    }
    return Fail(firstCause.empty() ? "no end-of-central-directory record" : firstCause);
  }

 private:
  std::nullopt_t Fail(std::string cause) {
    cause_ = std::move(cause);
    return std::nullopt;
  }

  bool ReadBytes(uint64_t at, void* data, size_t length) {
    return at <= fileSize_ && length <= fileSize_ - at && read_(at, data, length);
  }

  bool ReadString(uint64_t at, size_t length, std::string& out) {
    out.resize(length);
    return length == 0 || ReadBytes(at, out.data(), length);
  }

  std::optional<ZipLayout> FromEnd(uint64_t endAt, const uint8_t* end) {
    uint64_t count = Get16(end + 10);
    uint64_t cdSize = Get32(end + 12);
    uint64_t cdOffset = Get32(end + 16);
    // Where the central directory ends when nothing lies between it and its end record.
    uint64_t anchor = endAt;
    std::vector<uint64_t> bases;
    uint8_t locator[kZip64LocatorLength];
    if (endAt >= kZip64LocatorLength &&
        ReadBytes(endAt - kZip64LocatorLength, locator, sizeof locator) &&
        Get32(locator) == kZip64LocatorSignature) {
      const uint64_t recorded = Get64(locator + 8);
      const uint64_t locatorAt = endAt - kZip64LocatorLength;
      // The record normally comes right before its locator; with a prefix its recorded offset
      // is short by the prefix's length.
      uint8_t record[kZip64EndLength];
      uint64_t recordAt = 0;
      if (locatorAt >= kZip64EndLength &&
          ReadBytes(locatorAt - kZip64EndLength, record, sizeof record) &&
          Get32(record) == kZip64EndSignature && locatorAt - kZip64EndLength >= recorded) {
        recordAt = locatorAt - kZip64EndLength;
      } else if (ReadBytes(recorded, record, sizeof record) &&
                 Get32(record) == kZip64EndSignature) {
        recordAt = recorded;
      } else {
        return Fail("the zip64 end record is missing");
      }
      count = Get64(record + 32);
      cdSize = Get64(record + 40);
      cdOffset = Get64(record + 48);
      anchor = recordAt;
      bases.push_back(recordAt - recorded);
    }
    if (cdSize > anchor) return Fail("the central directory is larger than the archive");
    if (anchor - cdSize >= cdOffset) bases.push_back(anchor - cdSize - cdOffset);
    bases.push_back(0);
    for (const uint64_t base : bases) {
      if (base > anchor || cdOffset > anchor - base || cdSize > anchor - base - cdOffset) continue;
      uint8_t signature[4];
      const bool found = count == 0 || (ReadBytes(base + cdOffset, signature, 4) &&
                                        Get32(signature) == kCentralSignature);
      if (found) return Walk(base, base + cdOffset, cdSize, count);
    }
    return Fail("the central directory is not where the archive records it");
  }

  std::optional<ZipLayout> Walk(uint64_t base, uint64_t cdStart, uint64_t cdSize, uint64_t count) {
    // Each record takes at least its fixed part: a count beyond that is a lie, not a reason to
    // reserve memory.
    if (count > cdSize / kCentralLength)
      return Fail("the central directory is shorter than its count");
    std::vector<Entry> entries(static_cast<size_t>(count));
    uint64_t at = cdStart;
    const uint64_t cdEnd = cdStart + cdSize;
    std::unordered_set<std::string> names;
    for (Entry& entry : entries) {
      uint8_t h[kCentralLength];
      if (cdEnd - at < kCentralLength || !ReadBytes(at, h, sizeof h) ||
          Get32(h) != kCentralSignature) {
        return Fail("a central directory record is broken");
      }
      const size_t nameLength = Get16(h + 28);
      const size_t extraLength = Get16(h + 30);
      const size_t commentLength = Get16(h + 32);
      const uint64_t recordLength = kCentralLength + nameLength + extraLength + commentLength;
      std::string extra;
      if (cdEnd - at < recordLength || !ReadString(at + kCentralLength, nameLength, entry.name) ||
          !ReadString(at + kCentralLength + nameLength, extraLength, extra)) {
        return Fail("a central directory record is broken");
      }
      entry.recorded.flags = Get16(h + 8);
      entry.recorded.method = Get16(h + 10);
      entry.recorded.crc = Get32(h + 16);
      entry.recorded.compressedSize = Get32(h + 20);
      entry.recorded.size = Get32(h + 24);
      entry.offset = Get32(h + 42);
      const std::string offBy4GiB =
          SizesOffBy4GiB(entry.name, entry.recorded.size, entry.recorded.compressedSize, extra);
      if (!offBy4GiB.empty()) return Fail(offBy4GiB);
      uint64_t disk = Get16(h + 34) == 0xffff ? kUnknown32 : 0;
      if (!ApplyZip64(extra, {&entry.recorded.size, &entry.recorded.compressedSize, &entry.offset,
                              &disk})) {
        return Fail("the zip64 field of " + entry.name + " is too short");
      }
      if (!names.insert(entry.name).second) return Fail("two entries are named " + entry.name);
      at += recordLength;
    }

    ZipLayout layout;
    layout.base = base;
    for (const Entry& entry : entries) layout.entries.push_back(entry.recorded);
    // Local headers in file order, so that reading them walks the file forward once.
    std::vector<Entry*> byOffset;
    for (Entry& entry : entries) byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry* a, const Entry* b) { return a->offset < b->offset; });
    uint64_t previousEnd = 0;
    for (Entry* entry : byOffset) {
      if (entry->offset > cdStart - base) return Fail(entry->name + " lies after the directory");
      const uint64_t start = base + entry->offset;
      if (start < previousEnd) return Fail(entry->name + " overlaps the entry before it");
      if (!CheckLocal(*entry, start, cdStart)) return std::nullopt;
      previousEnd = entry->dataEnd;
    }
    return layout;
  }

  bool CheckLocal(Entry& entry, uint64_t start, uint64_t cdStart) {
    // The header and the name it must have, in one read: one read per entry in most archives.
    std::vector<uint8_t> header(kLocalLength + entry.name.size());
    const uint8_t* h = header.data();
    if (cdStart - start < header.size() || !ReadBytes(start, header.data(), header.size()) ||
        Get32(h) != kLocalSignature) {
      cause_ = "the local header of " + entry.name + " is missing";
      return false;
    }
    const uint16_t flags = Get16(h + 6);
    const size_t nameLength = Get16(h + 26);
    const size_t extraLength = Get16(h + 28);
    if (nameLength != entry.name.size() ||
        std::memcmp(h + kLocalLength, entry.name.data(), nameLength) != 0) {
      cause_ = "the local header of " + entry.name + " names another file";
      return false;
    }
    if (Get16(h + 8) != entry.recorded.method) {
      cause_ = "the local header of " + entry.name + " gives another method";
      return false;
    }
    uint64_t crc = Get32(h + 14);
    uint64_t compressed = Get32(h + 18);
    uint64_t size = Get32(h + 22);
    // The extra fields matter only for the 64-bit sizes; most headers have none to read.
    std::string extra;
    if ((size == kUnknown32 || compressed == kUnknown32) &&
        !ReadString(start + kLocalLength + nameLength, extraLength, extra)) {
      cause_ = "the local header of " + entry.name + " is broken";
      return false;
    }
    if (!ApplyZip64(extra, {&size, &compressed})) {
      cause_ = "the local zip64 field of " + entry.name + " is too short";
      return false;
    }
    // A value left to the data descriptor (zero, or all ones without a zip64 field) says
    // nothing; one that is given must be the central directory's.
    const bool deferred = (flags & kDataDescriptorFlag) != 0;
    const auto agrees = [deferred](uint64_t local, uint64_t central) {
      return local == central || (deferred && local == 0) || local == kUnknown32;
    };
    auto offBy4GiB = [&agrees](uint64_t local, uint64_t central) {
      return !agrees(local, central) && OffByMultipleOf4GiB(local, central);
    };
    if (offBy4GiB(size, entry.recorded.size) ||
        offBy4GiB(compressed, entry.recorded.compressedSize)) {
      cause_ = "the local header of " + entry.name +
               " gives sizes off by a multiple of 4 GiB: " + std::to_string(size) + " and " +
               std::to_string(compressed) + " bytes, the central directory " +
               std::to_string(entry.recorded.size) + " and " +
               std::to_string(entry.recorded.compressedSize);
      return false;
    }
    if (!agrees(crc, entry.recorded.crc) || !agrees(compressed, entry.recorded.compressedSize) ||
        !agrees(size, entry.recorded.size)) {
      cause_ = "the local header of " + entry.name + " gives other sizes or another CRC-32";
      return false;
    }
    const uint64_t dataStart = start + kLocalLength + nameLength + extraLength;
    if (dataStart > cdStart || entry.recorded.compressedSize > cdStart - dataStart) {
      cause_ = "the data of " + entry.name + " runs into the central directory";
      return false;
    }
    entry.dataEnd = dataStart + entry.recorded.compressedSize;
    return true;
  }

  uint64_t fileSize_;
  const ZipByteSource& read_;
  std::string& cause_;
};

}  // namespace

std::optional<ZipLayout> ReadZipLayout(uint64_t fileSize, const ZipByteSource& read,
                                       std::string& cause) {
  return LayoutReader(fileSize, read, cause).Read();
}
