#!/usr/bin/env bash
# The vendor's signing of the package, end to end: a code-signing certificate made here with
# openssl, scripts/package-windows --sign-pkcs12 with its password from the environment, the
# signature checked by osslsigncode itself and by --verify, and the signed program still run
# from its unpacked package under Wine with the fake runtime (PackageTest on the signed zip).
# Wine does not check Authenticode signatures: that the elevation prompt names the publisher
# can only be seen on Windows.
#
#   package_signing_test.sh <source dir> <package zip> <scratch dir> <program_win_tests.exe>
#                           <wine prefix>
set -euo pipefail
source_dir=$1 package=$2 scratch=$3 tests_exe=$4 prefix=$5
rm -rf "$scratch"
mkdir -p "$scratch/signed"
cd "$scratch"

fail() { echo "package_signing_test: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Quillfetch Test Vendor" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=critical,digitalSignature" 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out vendor.p12 -passout pass:test-secret
cp "$package" unsigned.zip
cp "$package" signed/quillfetch-windows-x64.zip
signed=$scratch/signed/quillfetch-windows-x64.zip

# An unsigned package says so, and --verify fails on it.
status=0
out=$("$source_dir/scripts/package-windows" --package unsigned.zip --verify 2>&1) || status=$?
((status == 1)) || fail "--verify of an unsigned package exited $status: $out"
grep -q "is not signed" <<<"$out" || fail "--verify did not say the package is unsigned: $out"

VLM_SIGN_PASSWORD=test-secret "$source_dir/scripts/package-windows" --package "$signed" \
  --sign-pkcs12 vendor.p12
unzip -q -o "$signed" quillfetch.exe -d extracted
osslsigncode verify -CAfile cert.pem -in extracted/quillfetch.exe >verify.txt 2>&1 ||
  fail "osslsigncode verify failed: $(cat verify.txt)"
grep -q "Subject: /CN=Quillfetch Test Vendor" verify.txt || fail "another signer: $(cat verify.txt)"
"$source_dir/scripts/package-windows" --package "$signed" --verify --ca-file cert.pem

# Not trusted without the vendor's root: --verify checks the chain, not only the digest.
status=0
"$source_dir/scripts/package-windows" --package "$signed" --verify >/dev/null 2>&1 || status=$?
((status == 1)) || fail "--verify trusted a self-signed certificate (exit $status)"

VLM_PACKAGE_UNDER_TEST="Z:$signed" "$source_dir/cmake/wine-run" "$prefix" "$tests_exe" \
  --gtest_filter='PackageTest.*' >run.txt 2>&1 || fail "the signed package did not run: $(cat run.txt)"
grep -q "\[  PASSED  \] 1 test" run.txt || fail "PackageTest did not run: $(cat run.txt)"
grep -q "signed/quillfetch-windows-x64.zip" run.txt || fail "PackageTest ran another zip: $(cat run.txt)"
echo "package_signing_test: signed, verified and run"
