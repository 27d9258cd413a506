#pragma once

#include <cstdint>
#include <memory>

#include "install/zip_reader_inflate.h"

// The decoders of the ZIP methods beyond deflate, one codec library each; ZipInflater::ForMethod
// chooses among them. Null when the library cannot set up its decoder (out of memory).

// Method 93: one or more zstd frames.
std::unique_ptr<ZipInflater> CreateZstdInflater();
// Method 95: an xz stream.
std::unique_ptr<ZipInflater> CreateXzInflater();
// Method 14: a 4-byte version and property-size header, 5 property bytes, then raw LZMA data
// that ends with an end marker when `endMarker` (general-purpose bit 1), else after `size` bytes.
std::unique_ptr<ZipInflater> CreateLzmaInflater(bool endMarker, uint64_t size);
// Method 12: a bzip2 stream.
std::unique_ptr<ZipInflater> CreateBzip2Inflater();
