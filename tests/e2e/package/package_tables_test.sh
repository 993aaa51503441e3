#!/usr/bin/env bash
# The package's tables, read with msiinfo (msitools):
#   package_tables_test.sh <package.msi> <newer.msi> <build_package.cmake> <work-dir> -DEXE=... ...
# The upgrade code is the constant one; the product code follows the
# version (and only the fields Windows Installer compares); the tables
# install per machine and upgrade in place.
set -euo pipefail

package=$1
newer=$2
script=$3
work=$4
shift 4
inputs=("$@")

# Never changes: an installed Quillet is found and upgraded by it.
upgrade_code='{9BF19285-4FF4-482B-9461-59825A1C3AA0}'

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect() { # expect <what> <actual> <expected>
  if [[ $2 == "$3" ]]; then echo "ok: $1"; else fail "$1: got '$2', expected '$3'"; fi
}

table() { msiinfo export "$1" "$2" | tr -d '\r'; }
# The value of column <n> in the row whose first column is <key>.
cell() { table "$1" "$2" | awk -F'\t' -v key="$3" -v n="$4" 'NR > 3 && $1 == key { print $n }'; }
property() { cell "$1" Property "$2" 2; }
version_of() { basename "$1" | sed 's/^Quillet-\(.*\)-x64\.msi$/\1/'; }

rm -rf "$work"
mkdir -p "$work"
# Builds a package of <version> into the work folder; prints its path.
build() {
  local out=$work/Quillet-$1-x64.msi
  cmake "${inputs[@]}" -DVERSION="$1" -DOUTPUT="$out" -DWORK_DIR="$work/build-$1" \
    -P "$script" >"$work/build-$1.log" 2>&1 || return 1
  echo "$out"
}

version=$(version_of "$package")
newer_version=$(version_of "$newer")
echo "== properties of $(basename "$package")"
expect "upgrade code" "$(property "$package" UpgradeCode)" "$upgrade_code"
expect "newer package's upgrade code" "$(property "$newer" UpgradeCode)" "$upgrade_code"
expect "product name" "$(property "$package" ProductName)" Quillet
expect "manufacturer" "$(property "$package" Manufacturer)" Brovana
expect "product version" "$(property "$package" ProductVersion)" "$version"
expect "per machine" "$(property "$package" ALLUSERS)" 1
expect "icon in Apps & features" "$(property "$package" ARPPRODUCTICON)" quillet.ico
expect "x64 package" "$(msiinfo suminfo "$package" | sed -n 's/^Template: //p')" 'x64;1033'

code=$(property "$package" ProductCode)
newer_code=$(property "$newer" ProductCode)
[[ $code =~ ^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$ ]] || fail "product code '$code' is no GUID"
[[ $code != "$newer_code" ]] && echo "ok: the product code changes with the version" ||
  fail "the newer version ($newer_version) has the same product code $code"

echo "== the product code of a rebuild"
if rebuilt=$(build "$version"); then
  expect "same version, same product code" "$(property "$rebuilt" ProductCode)" "$code"
else
  fail "rebuilding $version failed: $(cat "$work/build-$version.log")"
fi
# Windows Installer ignores a fourth field: a package differing only there
# must not install beside this one.
IFS=. read -r major minor patch _ <<<"$version"
fourth=$major.$minor.$patch.9
if rebuilt=$(build "$fourth"); then
  expect "$fourth counts as $version" "$(property "$rebuilt" ProductCode)" "$code"
else
  fail "building $fourth failed: $(cat "$work/build-$fourth.log")"
fi
for bad in 1.0 1.0.x.0 256.0.0.0 1.0.65536.0; do
  if build "$bad" >/dev/null; then
    fail "version $bad was accepted"
  elif grep -q "version '$bad'" "$work/build-$bad.log"; then
    echo "ok: version $bad refused with a message naming it"
  else
    fail "version $bad refused without saying why: $(cat "$work/build-$bad.log")"
  fi
done

echo "== upgrade tables"
upgrade=$(table "$package" Upgrade | awk -F'\t' 'NR > 3 { print $1 "|" $2 "|" $3 "|" $5 "|" $7 }' | sort)
expected=$(printf '%s\n' "$upgrade_code||$version|1|WIX_UPGRADE_DETECTED" \
  "$upgrade_code|$version||2|WIX_DOWNGRADE_DETECTED" | sort)
expect "older versions upgraded, newer ones detected" "$upgrade" "$expected"
expect "a newer installed version stops the install" \
  "$(table "$package" LaunchCondition | awk -F'\t' 'NR > 3 { print $1 }')" "NOT WIX_DOWNGRADE_DETECTED"
seq() { cell "$package" InstallExecuteSequence "$1" 3; }
(($(seq RemoveExistingProducts) > $(seq InstallValidate) && $(seq RemoveExistingProducts) < $(seq InstallInitialize))) &&
  echo "ok: the older version goes before the newer one is installed" ||
  fail "RemoveExistingProducts at $(seq RemoveExistingProducts)"
(($(seq CloseRunningCopy) > $(seq CostFinalize) && $(seq CloseRunningCopy) < $(seq InstallValidate))) &&
  echo "ok: a running copy is closed before anything changes" ||
  fail "CloseRunningCopy at $(seq CloseRunningCopy)"
expect "the closing helper runs from the package" "$(cell "$package" CustomAction CloseRunningCopy 2)|$(cell "$package" CustomAction CloseRunningCopy 3)" "2|CloseRunning"
(($(seq KeepAutostart) > $(seq AppSearch) && $(seq KeepAutostart) < $(seq CostFinalize))) &&
  echo "ok: an upgrade keeps AUTOSTART" || fail "KeepAutostart at $(seq KeepAutostart)"

echo "== what it installs"
expect "program file" "$(cell "$package" File quillet.exe 3)" quillet.exe
expect "help file" "$(cell "$package" File quillet.chm 3)" quillet.chm
expect "folder" "$(cell "$package" Directory INSTALLDIR 3)" Quillet
expect "under Program Files" "$(cell "$package" Directory INSTALLDIR 2)" ProgramFiles64Folder
expect "Start-menu shortcut" "$(table "$package" Shortcut | awk -F'\t' 'NR > 3 { print $2 "|" $3 "|" $5 "|" $9 }')" \
  "ProgramMenuFolder|Quillet|[INSTALLDIR]quillet.exe|quillet.ico"
expect "all-users start only with AUTOSTART=1" "$(cell "$package" Component AutoStart 5)" 'AUTOSTART="1"'
run=$(table "$package" Registry | awk -F'\t' 'NR > 3 && $3 == "Software\\Microsoft\\Windows\\CurrentVersion\\Run" { print $2 "|" $4 "|" $5 "|" $6 }')
expect "the all-users value" "$run" '2|Quillet|"[INSTALLDIR]quillet.exe"|AutoStart'
expect "no user configuration in the package" \
  "$(table "$package" Registry | awk -F'\t' 'NR > 3 && $2 != 2' ; table "$package" RemoveFile | awk 'NR > 3')" ""

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "all checks passed"
