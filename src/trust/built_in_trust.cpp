#include "trust/built_in_trust.h"

#include "built_in_trust_data.h"

std::span<const uint8_t> BuiltInArchiveKey() {
  return kBuiltInArchiveKey;
}

std::string_view BuiltInSetupPublisher() {
  return kBuiltInSetupPublisher;
}

std::string_view BuiltInUiProduct() {
  return kBuiltInUiProduct;
}

std::string_view BuiltInMinUiVersion() {
  return kBuiltInMinUiVersion;
}
