#include "download/transfer_kind.h"

#include <cctype>

namespace {
constexpr char kS3Host[] = "s3.amazonaws.com";
constexpr char kSignatureMarker[] = "x-amz-algorithm=";
}  // namespace

TransferKind ChooseTransferKind(const std::u16string& url) {
  return IsPresignedS3Url(url) ? TransferKind::kDirect : TransferKind::kBackgroundJob;
}

bool IsPresignedS3Url(const std::u16string& url) {
  std::string lower;
  lower.reserve(url.size());
  for (char16_t c : url) {
    lower.push_back(c < 0x80 ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                             : '\x80');
  }
  return lower.size() >= sizeof(kS3Host) - 1 && lower.find(kS3Host) != std::string::npos &&
         lower.find(kSignatureMarker) != std::string::npos;
}
