#!/usr/bin/env bash
# The built package under Wine, in a Wine prefix of its own (so nothing it
# installs reaches the prefix the other tests share):
#   package_wine_test.sh <build-dir> <older.msi> <newer.msi> <uidriver.exe> <home>
# <home> holds the prefix and its state; it is made afresh on every run, its
# Wine server and display are stopped at the end, and it is removed when
# every check passed.
set -euo pipefail

build=$(cd "$1" && pwd)
older=$2
newer=$3
uidriver=$4
home=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
for file in "$older" "$newer" "$uidriver"; do
  [[ -f $file ]] || { echo "package_wine_test.sh: no $file (build first)" >&2; exit 1; }
done
wine_env=$here/../../support/wine-env

export QUILLET_WINE_HOME=$home
"$wine_env" stop "$build" >/dev/null 2>&1 || true
rm -rf "$home"
mkdir -p "$home"
trap '"$wine_env" stop "$build" >/dev/null 2>&1 || true' EXIT
eval "$("$wine_env" env "$build" | grep '^export ')"
if [[ -x /usr/lib/wine/wine64 ]]; then wine=/usr/lib/wine/wine64; else wine=$(command -v wine64 || command -v wine); fi
artifacts=$build/artifacts
mkdir -p "$artifacts"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
not() { ! "$@"; }
check() { # check <what> <command...>
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

w() { "$wine" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { w winepath -w "$1"; }
unixpath() { w winepath -u "$1"; }
msiexec() { "$wine" msiexec "$@" >/dev/null 2>&1; }
ud() { "$wine" "$uidriver" "$@" 2>/dev/null | tr -d '\r'; }

version_of() { basename "$1" | sed 's/^Quillet-\(.*\)-x64\.msi$/\1/'; }
older_version=$(version_of "$older")
newer_version=$(version_of "$newer")
appdata=$(unixpath "$(w cmd /c echo %APPDATA%)")
programs=$(unixpath 'C:\Program Files')/Quillet
config_dir=$appdata/Brovana/Quillet
config=$config_dir/skeneri.ini
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

# The Start-menu shortcut: Wine puts a per-machine one in the user's menu.
shortcut() {
  local menu
  for menu in "$appdata/Microsoft/Windows/Start Menu/Programs" \
    "$(unixpath 'C:\ProgramData')/Microsoft/Windows/Start Menu/Programs"; do
    [[ -f $menu/Quillet.lnk ]] && { echo "$menu/Quillet.lnk"; return 0; }
  done
  return 1
}
# Every uninstall entry named Quillet, as "key|version|publisher|icon".
entries() {
  w reg query "$uninstall" /s | awk '
    /^HKEY_/ { key = $0; next }
    { value = $0; sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, "", value) }
    $1 == "DisplayName" { name[key] = value }
    $1 == "DisplayVersion" { version[key] = value }
    $1 == "Publisher" { publisher[key] = value }
    $1 == "DisplayIcon" { icon[key] = value }
    END { for (k in name) if (name[k] == "Quillet") print k "|" version[k] "|" publisher[k] "|" icon[k] }'
}
one_entry() { # one_entry <version>
  local list
  list=$(entries)
  [[ $(wc -l <<<"$list") == 1 && $list == *"|$1|Brovana|C:\Program Files\Quillet\quillet.exe,0" ]] || {
    echo "entries: ${list:-none}" >&2
    return 1
  }
}
no_entry() { [[ -z $(entries) ]]; }
run_value() { w reg query "$run_key" /v Quillet | awk '$1 == "Quillet" { sub(/.*REG_SZ +/, ""); print }'; }
config_sum() { sha256sum "$config" | cut -d' ' -f1; }
screenshot() { import -window root "$artifacts/$1" 2>/dev/null || true; }

# Installs while the running copy is asked to close, answers its question
# and sets installer_code to msiexec's exit code.
install_while_running() { # install_while_running <answer> <msi> [properties...]
  local answer=$1 msi=$2
  shift 2
  "$wine" msiexec /i "$(winpath "$msi")" /qn "$@" >/dev/null 2>&1 &
  local installer=$!
  check "the running copy asks \"Close application?\"" \
    ud msgbox quillet "$answer" --expect-text "Close application?" --timeout 60000
  installer_code=0
  wait "$installer" || installer_code=$?
}

echo "== a configuration written before anything is installed"
mkdir -p "$config_dir"
printf '[skener1]\r\nComPort=COM7\r\nBaudRate=9600\r\n[Startup]\r\nRunMinimized=0\r\n' >"$config"
sum=$(config_sum)

echo "== install $(basename "$older")"
check "install succeeds" msiexec /i "$(winpath "$older")" /qn
check "quillet.exe installed" test -f "$programs/quillet.exe"
check "quillet.chm installed" test -f "$programs/quillet.chm"
check "Start-menu shortcut" shortcut
check "one uninstall entry: Quillet, Brovana, the older version, the icon" one_entry "$older_version"
check "no all-users start without AUTOSTART" test -z "$(run_value)"
check "configuration untouched by the install" test "$(config_sum)" = "$sum"

echo "== the installed program starts and shows its window"
(cd "$programs" && "$wine" quillet.exe >/dev/null 2>&1 &)
check "main window shown" ud wait-window Quillet --class TForm1 --timeout 60000
screenshot package_installed_program.png
check "starting it wrote no configuration" test "$(config_sum)" = "$sum"

echo "== Settings > Start with Windows in the installed program"
user_run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
user_value() { w reg query "$user_run" /v "$1" | awk -v name="$1" '$1 == name { sub(/.*REG_SZ +/, ""); print }'; }
w reg add "$user_run" /v Other /t REG_SZ /d '"C:\Other\other.exe"' /f >/dev/null
# The menu command is posted: wait, within a deadline, for its effect.
value_is() { [[ $(user_value "$1") == "$2" ]]; }
within_10s() { local i; for ((i = 0; i < 50; i++)); do "$@" && return 0; sleep 0.2; done; return 1; }
ud menu Quillet "Settings|Start with Windows" >/dev/null
check "ticking writes the quoted installed path" \
  within_10s value_is Quillet '"C:\Program Files\Quillet\quillet.exe"'
ud menu Quillet "Settings|Start with Windows" >/dev/null
check "unticking removes it" within_10s value_is Quillet ""
check "and leaves the other value" test "$(user_value Other)" = '"C:\Other\other.exe"'
w reg delete "$user_run" /v Other /f >/dev/null

echo "== upgrade while it runs; its user answers No"
install_while_running no "$newer" AUTOSTART=1
check "upgrade refused (msiexec $installer_code)" test "$installer_code" != 0
check "the older version still installed, whole" one_entry "$older_version"
check "its program file still there" test -f "$programs/quillet.exe"
check "the running copy still runs" ud wait-window Quillet --class TForm1 --timeout 5000
check "no all-users start written" test -z "$(run_value)"
check "configuration untouched" test "$(config_sum)" = "$sum"

echo "== upgrade with AUTOSTART=1 while it runs; its user answers Yes"
install_while_running yes "$newer" AUTOSTART=1
check "upgrade succeeds (msiexec $installer_code)" test "$installer_code" = 0
check "one entry left, the newer version" one_entry "$newer_version"
check "quillet.exe there after the upgrade" test -f "$programs/quillet.exe"
check "Start-menu shortcut after the upgrade" shortcut
check "the copy stored its rows as it closed" grep -q '^cbotvori8=0' "$config"
check "the copy's settings kept" grep -q '^ComPort=COM7' "$config"
check "all-users start names the program" test "$(run_value)" = '"C:\Program Files\Quillet\quillet.exe"'
sum=$(config_sum)

echo "== the older package over the newer one"
check "refused" not msiexec /i "$(winpath "$older")" /qn
check "still one entry, the newer version" one_entry "$newer_version"
check "quillet.exe still there" test -f "$programs/quillet.exe"
check "all-users start kept" test -n "$(run_value)"

echo "== the same version again"
msiexec /i "$(winpath "$newer")" /qn || true
check "still one entry" one_entry "$newer_version"
check "configuration byte for byte the same" test "$(config_sum)" = "$sum"
"$wine" control appwiz.cpl >/dev/null 2>&1 &
ud wait-window "Add/Remove Programs" --timeout 20000 >/dev/null || true
screenshot package_uninstall_entry.png
ud close "Add/Remove Programs" >/dev/null || true

echo "== uninstall"
check "uninstall succeeds" msiexec /x "$(winpath "$newer")" /qn
check "program folder gone" test ! -e "$programs"
check "shortcut gone" not shortcut
check "uninstall entry gone" no_entry
check "all-users start gone" test -z "$(run_value)"
check "nothing left under HKLM\\Software\\Brovana\\Quillet" not w reg query 'HKLM\Software\Brovana\Quillet' 
check "configuration kept byte for byte" test "$(config_sum)" = "$sum"

if ((failures)); then
  echo "$failures check(s) failed; the prefix is kept in $home" >&2
  exit 1
fi
# The prefix is only worth its space while a failure is looked into; the
# exit trap would make its folder again.
trap - EXIT
"$wine_env" stop "$build" >/dev/null 2>&1 || true
rm -rf "$home"
echo "all checks passed"
