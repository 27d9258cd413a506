#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Writes ZIP archives byte by byte, so that tests can make the hostile and broken ones no
// archiver would: raw name bytes, wrong CRC-32 or sizes, flagged encryption, foreign methods,
// link entries.

struct ZipTestEntry {
  std::string name;            // stored as is
  std::string data;            // uncompressed content
  uint16_t method = 8;         // 0 stored, 8 deflated; any other value stores `data` as is
  bool utf8Flag = false;       // general-purpose bit 11
  bool encryptedFlag = false;  // general-purpose bit 0
  uint8_t madeBy = 3;          // 3 Unix, 0 MS-DOS
  uint32_t externalAttributes = 0100644u << 16;
  std::optional<uint32_t> crc;           // recorded CRC-32 instead of the true one
  std::optional<uint32_t> recordedSize;  // recorded uncompressed size instead of the true one
  std::optional<std::string> localName;  // the local header's name, when it is to disagree
  std::string localExtra;                // extra fields of the local header only
  std::string centralExtra;              // extra fields of the central record only
  bool dataDescriptor = false;  // bit 3: zeros in the local header, the values after the data
  uint16_t moreFlags = 0;       // further general-purpose bits (0x0002: an LZMA end marker)
  std::string padding;          // written before the local header (junk between entries)
  std::optional<uint32_t> recordedOffset;  // the central record's offset instead of the true one
};

ZipTestEntry ZipFile(std::string name, std::string data, uint32_t mode = 0100644);
ZipTestEntry ZipDirectory(std::string name);
ZipTestEntry ZipSymlink(std::string name, std::string target);

std::string BuildZip(const std::vector<ZipTestEntry>& entries);
void WriteZip(const std::filesystem::path& path, const std::vector<ZipTestEntry>& entries);

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
