#!/bin/sh
# The native crn (on the path after the host tree is built and installed) restores archives that
# cn takes under Wine: a plain one and its self-extracting form, with bytes and modification
# times compared. Skipped (77) where crn is not installed yet.
# usage: crn-restores-cn.sh WINE_RUN STATE_DIR CN_EXE ENGINE_DLL WORK_DIR
set -u
run="$1 $2"
cn=$3
dll="Z:$(printf "%s" "$4" | sed 's|/|\\|g')"
work=$5
command -v crn >/dev/null 2>&1 || { echo "crn is not on the path: skipped"; exit 77; }
fail() { echo "crn-restores-cn: $*" >&2; exit 1; }
winpath() { printf "Z:%s" "$(printf "%s" "$1" | sed 's|/|\\|g')"; }

rm -rf "$work" && mkdir -p "$work/src/sub/empty" || fail "cannot make $work"
printf 'first line\r\nsecond line\r\n' >"$work/src/notes.txt"
head -c 300000 /dev/urandom >"$work/src/sub/data.bin"
touch -d '2021-03-04 05:06:07.5' "$work/src/notes.txt"
touch -d '2019-12-31 23:59:58' "$work/src/sub/data.bin"
$run rundll32 "$dll,DllRegister" || fail "the engine did not register"
# cn exits 1 when it made a snapshot.
$run "$cn" /c /a "$(winpath "$work/src")" "$(winpath "$work/a.crn")" >/dev/null
[ $? -eq 1 ] && [ -s "$work/a.crn" ] || fail "cn took no snapshot"
head -c 65536 /dev/zero >"$work/a.exe" && cat "$work/a.crn" >>"$work/a.exe" ||
  fail "no self-extracting copy"

for archive in a.crn a.exe; do
  out="$work/out-$archive"
  crn restore "$work/$archive" --to "$out" || fail "crn restore of $archive failed"
  restored="$out/Z$work/src"
  for file in notes.txt sub/data.bin; do
    cmp -s "$work/src/$file" "$restored/$file" || fail "$archive: $file differs"
    [ "$(stat -c %Y "$work/src/$file")" = "$(stat -c %Y "$restored/$file")" ] || fail "$archive: $file has another time"
  done
  [ -d "$restored/sub/empty" ] || fail "$archive: the empty folder is missing"
  crn check "$work/$archive" >/dev/null || fail "crn check of $archive failed"
done
crn restore "$work/a.crn" 2>/dev/null && fail "crn restore without --to did not refuse"
echo "1 passed, 0 failed"
