#pragma once

#include <cstdint>
#include <string>

// A sentence for the page and the log about a network failure given as a WinHTTP number, for
// the background jobs, whose service gives no description of its own for these.
std::string DescribeNetworkError(uint32_t error);
