#!/usr/bin/env bash
# Sets up the machine, builds the Windows binaries and runs them under Wine on a small example:
# the engine is registered through its own rundll32 entry point, cn creates an archive, takes
# snapshots of a small folder as it changes, lists them, and restores the older one over a
# damaged folder; the archive inspector shows what the archive holds. Then the Explorer
# extension: nsx12 is registered, creates an archive as Explorer's New menu would, cn takes
# snapshots into it, and nsx12walk prints the archive as the shell sees it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" win64 cairn cn crninspect nsx12 nsx12walk >/dev/null

build="$root/build/win64"
demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/My Files"
printf 'first line\n' > "$demo/My Files/notes.txt"
head -c 30000 /dev/urandom > "$demo/My Files/data.bin"
cp -p "$demo/My Files/notes.txt" "$demo/My Files/data.bin" "$demo/" # kept to compare with later
run() { "$root/cmake/wine/wine-run" "$build/wine" "$@"; }
# The tree's Wine session: its first start makes the prefix, and Wine's own messages while it does
# go to a log, shown only when the start fails.
session_log=$(mktemp)
if ! "$root/cmake/wine/wine-session" start "$build/wine" >"$session_log" 2>&1; then
  cat "$session_log" "$build/wine/wineboot.log" >&2 2>/dev/null
  exit 1
fi
rm -f "$session_log"
trap '"$root/cmake/wine/wine-session" stop "$build/wine"' EXIT
winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

echo "== registering the engine: rundll32 cairn.dll,DllRegister"
run rundll32 "$(winpath "$build/engine/cairn.dll")",DllRegister

archive=$(winpath "$demo/example.crn")
# cn exits 1 when it made a snapshot and 0 when there was nothing to do; -1 is a failure.
cn() {
  local code=0
  (cd "$demo" && run "$build/cli/cn.exe" "$@") || code=$?
  [ "$code" -le 1 ] || echo "(cn exit code $code)"
}

echo "== cn /c /v /a \"My Files\" example.crn"
cn /c /v /a "My Files" example.crn
echo "== cn /v example.crn (nothing changed)"
cn /v example.crn
printf 'second line\n' >> "$demo/My Files/notes.txt"
mkdir -p "$demo/My Files/photos"
head -c 20000 /dev/urandom > "$demo/My Files/photos/picture.raw"
echo "== after editing notes.txt and adding photos/picture.raw: cn /v /n Evening example.crn"
cn /v /n Evening example.crn

echo "== cn /l example.crn (the snapshots)"
cn /l example.crn
echo "== cn /l Snapshot;1 example.crn (what the first snapshot holds)"
cn /l "Snapshot;1" example.crn

echo "== damaging the folder: notes.txt overwritten, data.bin deleted"
printf 'oops\n' > "$demo/My Files/notes.txt"
rm "$demo/My Files/data.bin"
echo "== cn /r Snapshot;1 example.crn (restore the first snapshot)"
cn /r "Snapshot;1" example.crn
for f in notes.txt data.bin; do
  if cmp -s "$demo/$f" "$demo/My Files/$f" && [ "$(stat -c %Y "$demo/$f")" = "$(stat -c %Y "$demo/My Files/$f")" ]; then
    echo "My Files/$f: back as it was at the first snapshot (same bytes, same modification time)"
  else
    echo "My Files/$f: NOT restored as it was" >&2
    exit 1
  fi
done
echo "My Files/notes.txt now reads:"
sed 's/^/    /' "$demo/My Files/notes.txt"
echo "== cn /r example.crn (restore the latest snapshot)"
cn /r example.crn
echo "My Files/notes.txt now reads:"
sed 's/^/    /' "$demo/My Files/notes.txt"

echo "== the archive, as crninspect shows it"
run "$build/engine/tools/crninspect.exe" "$archive" > "$demo/inspect.txt"
sed -n '1,3p;/^snapshots:/,/^named streams:/p' "$demo/inspect.txt" | grep -v '^named streams:'
echo "objects:"
grep '^  @[0-9]*: "' "$demo/inspect.txt" | grep -v '\\\\\.\\'
echo "(the whole report, with every revision and difference record: $demo/inspect.txt)"

echo
echo "== the Explorer extension: regsvr32 nsx12.dll"
run regsvr32 /s "$(winpath "$build/shell/nsx12.dll")"
run reg query 'HKCR\.crn\ShellNew' /v Command | grep Command || true
mkdir -p "$demo/Explorer"
printf 'a letter\n' > "$demo/Explorer/letter.txt"
mkdir -p "$demo/Explorer/pictures"
head -c 5000 /dev/urandom > "$demo/Explorer/pictures/photo.raw"
shell_archive=$(winpath "$demo/Explorer archive.crn")
echo "== New, Cairn Archive: rundll32 nsx12.dll,DllCreateArchive 999 $shell_archive"
run rundll32 "$(winpath "$build/shell/nsx12.dll")",DllCreateArchive 999 "$shell_archive"
echo "== cn /v /a Explorer \"Explorer archive.crn\", then a change and cn /v /n Evening"
cn /v /a Explorer "Explorer archive.crn"
printf 'a second line\n' >> "$demo/Explorer/letter.txt"
cn /v /n Evening "Explorer archive.crn"
echo "== the archive as the shell sees it (nsx12walk): display name [attributes], then the view's columns"
run "$build/shell/nsx12walk.exe" "$shell_archive"
