#include "download/download_engine.h"

// Linux has no COM: the worker's apartment always "starts", and there is nothing to leave.
HResult DownloadEngine::InitCom() {
  comInitialized = false;
  return kOk;
}

void DownloadEngine::LeaveCom() {}
