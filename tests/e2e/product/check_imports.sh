#!/usr/bin/env bash
# Fails when quillet.exe imports a DLL that is not part of Windows itself
# (a MinGW runtime such as libstdc++-6.dll or libwinpthread-1.dll would mean
# the static link broke and the program no longer runs from a bare folder).
set -euo pipefail
objdump=$1
exe=$2
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|version|msvcrt|shlwapi|uxtheme|winmm|imm32|ws2_32|setupapi)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
if [ "${#dlls[@]}" -eq 0 ]; then
  echo "no import table found in $exe" >&2
  exit 1
fi
bad=0
for dll in "${dlls[@]}"; do
  lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
  if [[ $lower =~ $system_dlls ]]; then
    echo "ok      $dll"
  else
    echo "FOREIGN $dll" >&2
    bad=1
  fi
done
exit $bad
