#!/bin/sh
# Checks the built launcher: it fits in front of the archive, which begins at 65536 bytes, and
# it imports only known system DLLs (KnownDLLs), which Windows never loads from the program's
# own folder; anything else must be loaded from the system directory at run time.
# usage: check-launcher.sh OBJDUMP SFXSTUB_EXE
set -u
objdump=$1
exe=$2
fail=0

size=$(wc -c <"$exe")
echo "sfxstub.exe: $size bytes"
if [ "$size" -gt 65536 ]; then
  echo "check-launcher: $size bytes do not fit in front of the archive at 65536" >&2
  fail=1
fi

known=" advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | tr -d '\r')
[ -n "$imports" ] || { echo "check-launcher: no imports found in $exe" >&2; exit 1; }
for dll in $imports; do
  case "$known" in
    *" $dll "*) ;;
    *) echo "check-launcher: imports $dll, which may be loaded from the launcher's folder" >&2; fail=1 ;;
  esac
done
[ $fail = 0 ] && echo "imports: $(echo $imports)"
exit $fail
