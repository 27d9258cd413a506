#pragma once

#include <optional>
#include <string>

#include "base/hresult.h"

// A description, in UTF-8, of a failure code of a background transfer for which the transfer
// service gave none: HTTP statuses (0x8019xxxx), network failures (0x8007 + a WinHTTP number)
// and other Win32 errors (the system's text, without its line break). The texts of the first two
// match those of the Linux job, so the page reads the same on both platforms.
// nullopt for a code nothing is known about.
std::optional<std::string> DescribeTransferError(HResult code);
