#!/usr/bin/env bash
# Sets up the machine, builds the Windows binaries and runs them under Wine on a small example:
# the engine is registered through its own rundll32 entry point, cn creates a new archive, and
# the archive inspector shows what the archive holds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" win64 cairn cn crninspect >/dev/null

build="$root/build/win64"
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/My Files"
printf 'first line\n' > "$demo/My Files/notes.txt"
run() { "$root/cmake/wine/wine-run" "$build/wine" "$@"; }
winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

echo "== registering the engine: rundll32 cairn.dll,DllRegister"
run rundll32 "$(winpath "$build/engine/cairn.dll")",DllRegister

archive=$(winpath "$demo/example.crn")
echo "== cn /c /v /a \"My Files\" example.crn"
status=0
(cd "$demo" && run "$build/cli/cn.exe" /c /v /a "My Files" example.crn) || status=$?
echo "(cn exit code $status)"

echo "== the archive, as crninspect shows it"
run "$build/engine/tools/crninspect.exe" "$archive"
