#pragma once

#include <cstddef>
#include <cstdint>

// A check over a file's bytes where they are used: every byte is handed over once, in order,
// and at the end the check says whether they were the bytes it expects (an archive read again
// for extraction against the archive that verified when it was downloaded).
//
// One check serves one pass over one file, on one thread.
class BytesCheck {
 public:
  virtual ~BytesCheck() = default;
  virtual void Add(const void* data, size_t length) = 0;
  // Once, after the last byte: true when the `size` bytes handed over are the expected ones.
  virtual bool Matches(uint64_t size) = 0;
};
