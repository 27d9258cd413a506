#pragma once

#include <memory>

#include "download/transfer_job.h"

// The Linux transfer service: each job downloads on a thread of its own, through the program's
// HTTP session (net/http_session.h), into a sibling of its destination ("<name>.partial"), and
// Complete renames that file into place.
//
// Failures of the network (name resolution, refused or reset connections, time-outs, bodies
// cut short, HTTP 408/429/500/502/503/504) make a transient error; other HTTP statuses and
// disk or permission failures make an error. Error codes: 0x80190000 + HTTP status,
// 0x80070000 + WinHTTP error number, 0x80070000 + Win32 error. Resume after either continues
// from the bytes on disk with a Range request carrying If-Range and the file's validator, and
// starts over when the server sends the whole file or another file (another validator or
// total). A body shorter than its Content-Length never counts as transferred. With a store of
// kept downloads (KeepBytesIn) a job begins with the bytes kept under its key and keeps what it
// wrote when cancelled or dropped. The session takes its own route (net/proxy_route.h).
std::unique_ptr<TransferJobManager> MakeCurlTransferJobManager();
