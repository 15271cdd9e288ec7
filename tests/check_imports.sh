#!/usr/bin/env bash
# Fails when a binary imports from anything but a Windows system DLL: the spooler loads
# our DLLs with nothing beside them.
set -u
objdump=$1; shift
allowed='^(kernel32|user32|gdi32|advapi32|ws2_32|wsock32|rpcrt4|winspool\.drv|msvcrt|comctl32|comdlg32|shell32|shlwapi|ole32|oleaut32|hhctrl\.ocx|ntdll|version)\.dll$|^(winspool\.drv|hhctrl\.ocx)$'
status=0
for binary in "$@"; do
  imports=$("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  for dll in $imports; do
    if ! [[ $dll =~ $allowed ]]; then
      echo "$(basename "$binary") imports $dll, which is not a Windows system DLL"
      status=1
    fi
  done
  echo "$(basename "$binary"): ${imports:-no imports}" | tr '\n' ' '; echo
done
exit $status
