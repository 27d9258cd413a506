#pragma once

#include <memory>

#include "download/transfer_job.h"

// The Linux transfer service: each job downloads on a thread of its own with libcurl into a
// sibling of its destination ("<name>.partial"), and Complete renames that file into place.
//
// Failures of the network (name resolution, refused or reset connections, time-outs, bodies
// cut short, HTTP 408/429/500/502/503/504) make a transient error; other HTTP statuses and
// disk or permission failures make an error. Error codes: 0x80190000 + HTTP status,
// 0x80070000 + WinHTTP error number, 0x80070000 + Win32 error. Resume after either continues
// from the bytes on disk with a Range request, and starts over when the server ignores Range.
// A body shorter than its Content-Length never counts as transferred. Direct, until
// UseSystemProxy takes GIO's proxy for the URL (base/proxy_route.h).
std::unique_ptr<TransferJobManager> MakeCurlTransferJobManager();
