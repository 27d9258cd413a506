#include "install/zip_reader_codecs.h"
#include "install/zip_reader_inflate.h"

std::unique_ptr<ZipInflater> ZipInflater::ForMethod(uint16_t method, uint16_t flags,
                                                    uint64_t size) {
  constexpr uint16_t kLzmaEndMarkerFlag = 0x0002;
  switch (method) {
    case 8:
      return Create();
    case 93:
      return CreateZstdInflater();
    case 95:
      return CreateXzInflater();
    case 14:
      return CreateLzmaInflater((flags & kLzmaEndMarkerFlag) != 0, size);
    case 12:
      return CreateBzip2Inflater();
    default:
      return nullptr;
  }
}
