#include "download/transfer_kind.h"

#include <cctype>
#include <string_view>

namespace {

constexpr char kS3Host[] = "s3.amazonaws.com";
constexpr char kSignatureMarker[] = "x-amz-algorithm=";

// ASCII letters lowered; every other unit stands in as one byte that matches nothing we look for.
std::string LowerAscii(const std::u16string& url) {
  std::string lower;
  lower.reserve(url.size());
  for (char16_t c : url) {
    lower.push_back(c < 0x80 ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                             : '\x80');
  }
  return lower;
}

}  // namespace

TransferKind ChooseTransferKind(const std::u16string& url) {
  return IsPresignedS3Url(url) || HasQuerySignature(url) ? TransferKind::kDirect
                                                         : TransferKind::kBackgroundJob;
}

bool HasQuerySignature(const std::u16string& url) {
  const std::string lower = LowerAscii(url);
  std::string_view query(lower);
  query = query.substr(0, query.find('#'));  // the fragment never reaches the server
  const size_t question = query.find('?');
  if (question == std::string_view::npos) return false;
  query.remove_prefix(question + 1);
  bool sig = false;
  bool se = false;
  bool sv = false;
  while (!query.empty()) {
    const size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    const std::string_view name = pair.substr(0, pair.find('='));
    if (name == "x-amz-algorithm" || name == "x-amz-signature" || name == "x-goog-algorithm" ||
        name == "x-goog-signature") {
      return true;
    }
    // Each of these short names alone is common in ordinary query strings; together they are
    // a shared-access signature (its signature, expiry and service version).
    sig = sig || name == "sig";
    se = se || name == "se";
    sv = sv || name == "sv";
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return sig && se && sv;
}

bool IsPresignedS3Url(const std::u16string& url) {
  const std::string lower = LowerAscii(url);
  return lower.size() >= sizeof(kS3Host) - 1 && lower.find(kS3Host) != std::string::npos &&
         lower.find(kSignatureMarker) != std::string::npos;
}
