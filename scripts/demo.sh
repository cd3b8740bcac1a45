#!/usr/bin/env bash
# Sets up the machine, builds the Windows binaries and runs them under Wine on a small example:
# a new archive is created and then shown with the archive inspector.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" win64 crninspect >/dev/null

build="$root/build/win64"
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
run() { "$root/cmake/wine/wine-run" "$build/wine" "$@"; }
archive="$(cd "$demo" && pwd)/example.crn"
win_archive="Z:${archive//\//\\}"

echo "== creating $win_archive"
run "$build/engine/tools/crninspect.exe" --create "$win_archive" >/dev/null
echo "== the new archive, as the inspector shows it"
run "$build/engine/tools/crninspect.exe" "$win_archive"
echo "== its bytes"
od -A d -t u4 "$archive"
