#include <gtest/gtest.h>

#include "install/launch_test_support.h"
#include "install/setup_signature.h"

namespace {

// No signed program can be made here (that needs a code-signing certificate the prefix trusts),
// so only refusals are shown: WinVerifyTrust's own code comes back, never success.
TEST(SetupSignatureWin, UnsignedAndMissingProgramsAreRefusedWithTheTrustCode) {
  std::string detail;
  EXPECT_EQ(CheckSetupSignature(LaunchProbePath(), "Example Vendor", detail), kProgramNotSigned);
  EXPECT_EQ(detail, "the program's signature is not trusted");

  detail.clear();
  const uint32_t missing = CheckSetupSignature(LaunchProbePath().parent_path() / "missing.exe",
                                               "Example Vendor", detail);
  EXPECT_NE(missing, 0u);
  EXPECT_EQ(missing & 0x80000000u, 0x80000000u);
}

}  // namespace
