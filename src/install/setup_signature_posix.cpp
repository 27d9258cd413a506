#include "install/setup_signature.h"

uint32_t CheckSetupSignature(const std::filesystem::path&, std::string_view, std::string& detail) {
  detail = "program signatures are checked on Windows only";
  return kProgramNotSigned;
}
