#pragma once

#include <cstddef>

// The program's icons as PNG bytes, embedded at build time from res/icons. The large one
// stands for icon group 107, the small one for icon group 108.
extern const unsigned char kLargeIconPng[];
extern const size_t kLargeIconPngSize;
extern const unsigned char kSmallIconPng[];
extern const size_t kSmallIconPngSize;
