#!/usr/bin/env bash
# Signing with a throw-away certificate made by openssl: the program, the
# package's closing helper and the package carry SHA-256 signatures that
# osslsigncode verifies; a wrong or missing password stops the build.
#   package_signing_test.sh <build_package.cmake> <work-dir> -DEXE=... -DCHM=... ...
# EXE is signed in place, so the test signs a copy.
set -euo pipefail

script=$1
work=$2
shift 2
inputs=()
for arg in "$@"; do
  case $arg in
    -DEXE=*) exe=${arg#-DEXE=} ;;
    *) inputs+=("$arg") ;;
  esac
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Quillet test signer" -addext "extendedKeyUsage=codeSigning" >openssl.log 2>&1
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout pass:throw-away \
  >>openssl.log 2>&1
cp "$exe" quillet.exe

package() { # package <output> [environment...]
  local out=$1
  shift
  env "$@" cmake "${inputs[@]}" -DEXE="$work/quillet.exe" -DVERSION=1.0.5.0 -DOUTPUT="$out" \
    -DWORK_DIR="$work/build" -DSIGN_PFX="$work/cert.pfx" -P "$script" >"$out.log" 2>&1
}
verified() { # verified <file>: signed with SHA-256 by the test's certificate
  local report
  report=$(osslsigncode verify -CAfile cert.pem -in "$1" 2>&1) || {
    echo "$report" >&2
    return 1
  }
  grep -q 'Signature verification: ok' <<<"$report" &&
    grep -Eq 'Message digest algorithm *: SHA256' <<<"$report" &&
    grep -q 'Quillet test signer' <<<"$report"
}
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}
not() { ! "$@"; }

check "builds signed" package signed.msi QUILLET_SIGN_PASSWORD=throw-away
check "quillet.exe signed" verified quillet.exe
check "package signed" verified signed.msi
msiinfo extract signed.msi Binary.CloseRunning >helper.exe
check "closing helper signed" verified helper.exe
check "no time-stamp server asked" grep -q 'Timestamp is not available' <(osslsigncode verify -CAfile cert.pem -in signed.msi 2>&1)

# A second build signs the already signed program again, not twice over.
check "builds signed again" package again.msi QUILLET_SIGN_PASSWORD=throw-away
check "quillet.exe verified" verified quillet.exe
check "with one signature" test "$(osslsigncode verify -CAfile cert.pem -in quillet.exe 2>&1 | grep -c '^Signature Index')" = 1
check "package signed again" verified again.msi

check "a wrong password stops the build" not package wrong.msi QUILLET_SIGN_PASSWORD=not-it
check "which says signing failed" grep -q 'signing .* failed' <(tr '\n' ' ' <wrong.msi.log)
check "and writes no package" test ! -e wrong.msi
check "no password stops the build" not package none.msi -u QUILLET_SIGN_PASSWORD
check "which names the variable" grep -q 'QUILLET_SIGN_PASSWORD is not set' none.msi.log
check "no password file left behind" test ! -e build/sign.pass

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
