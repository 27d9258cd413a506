#pragma once

#include <memory>

#include "base/hresult.h"
#include "download/transfer_job.h"

// The Windows transfer service (BITS) behind the TransferJob seam, reached over COM from the
// calling thread, which must be in a COM apartment (DownloadEngine::InitCom) for as long as the
// manager and its jobs live.
//
// Each operation is the service's own, with its result code: states, progress, errors (code
// and description, in the user's language), Resume, Cancel and Complete. Beyond the service:
// - an error the service cannot describe gets a description of ours (HTTP statuses, network
//   failures, Win32 errors), so the page never shows a bare number when a text can be had;
// - GetState waits a few milliseconds before asking a job that was transferring, so a caller
//   that polls without pausing in that state does not keep a processor core and the service
//   busy;
// - a job destroyed before Complete or Cancel succeeded is cancelled: the service keeps jobs
//   across processes, and a forgotten one would go on downloading in the background.
//
// What the service itself decides is not changed: it follows redirects (never from https to
// http), resumes after errors, and places the file at its local name only on Complete.
HResult CreateBitsTransferJobManager(std::unique_ptr<TransferJobManager>& manager);
