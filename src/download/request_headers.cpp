#include "download/request_headers.h"

#include "bridge/page_origin.h"

std::vector<std::string> DownloadHeaderLines() {
  return {std::string("User-Agent: ") + kDownloadUserAgent,
          std::string("Referer: https://") + UiVirtualHost + "/"};
}

std::string DownloadHeaderBlock() {
  std::string block;
  for (const std::string& line : DownloadHeaderLines()) block += line + "\r\n";
  return block;
}
