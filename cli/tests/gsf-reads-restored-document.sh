#!/bin/sh
# libgsf's gsf, a reader of compound files independent of the system's structured storage, finds
# every element of an office-shaped document that cn restores under Wine from each of two
# snapshots, with the bytes the document held when it was taken. Skipped (77) without gsf.
# usage: gsf-reads-restored-document.sh WINE_RUN STATE_DIR CN_EXE ENGINE_DLL OFFICEDOC_EXE WORK_DIR
set -u
run="$1 $2"
cn=$3
dll="Z:$(printf "%s" "$4" | sed 's|/|\\|g')"
officedoc=$5
work=$6
command -v gsf >/dev/null 2>&1 || { echo "gsf is not installed: skipped"; exit 77; }
fail() { echo "gsf-reads-restored-document: $*" >&2; exit 1; }
winpath() { printf "Z:%s" "$(printf "%s" "$1" | sed 's|/|\\|g')"; }
hex() { od -An -v -tx1 | tr -d ' \n'; }

# What gsf finds in a document, in the form officedoc lists what it wrote.
listing() {
  gsf list "$1" | tail -n +2 | while IFS= read -r line; do
    name=$(printf '%s\n' "$line" | sed -E 's/^[df] +([0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} +)?[0-9]+ //')
    [ "$name" = "*root*" ] && continue
    case $line in
      d*) printf '%s d\n' "$(printf '%s' "$name" | hex)" ;;
      *) printf '%s =%s\n' "$(printf '%s' "$name" | hex)" "$(gsf cat "$1" "$name" | hex)" ;;
    esac
  done | LC_ALL=C sort
}

# Restores with cn's arguments, then compares gsf's view of the document with what was written.
check() {
  expected=$1
  shift
  $run "$cn" /r "$@" "$(winpath "$work/a.crn")" >"$work/out.txt" 2>&1 || fail "cn /r $*: $(cat "$work/out.txt")"
  [ "$(ls -A "$work/doc")" = report.doc ] || fail "cn /r $*: the folder holds $(ls -A "$work/doc")"
  listing "$work/doc/report.doc" >"$work/found.txt"
  LC_ALL=C sort "$work/$expected" >"$work/wanted.txt"
  grep -q "^01$(printf 'CompObj' | hex) " "$work/wanted.txt" || fail "officedoc listed no CompObj"
  diff "$work/wanted.txt" "$work/found.txt" >&2 || fail "cn /r $*: gsf reads other elements than were stored"
}

rm -rf "$work" && mkdir -p "$work/doc" || fail "cannot make $work"
$run rundll32 "$dll,DllRegister" || fail "the engine did not register"
doc=$(winpath "$work/doc/report.doc")
$run "$officedoc" "$doc" 1 "$(winpath "$work/first.txt")" || fail "officedoc wrote no first edition"
# cn exits 1 when it made a snapshot.
$run "$cn" /c /a "$(winpath "$work/doc")" "$(winpath "$work/a.crn")" >/dev/null
[ $? -eq 1 ] || fail "cn took no first snapshot"
$run "$officedoc" "$doc" 2 "$(winpath "$work/second.txt")" || fail "officedoc wrote no second edition"
$run "$cn" /a "$(winpath "$work/doc")" "$(winpath "$work/a.crn")" >/dev/null
[ $? -eq 1 ] || fail "cn took no second snapshot"
cmp -s "$work/first.txt" "$work/second.txt" && fail "the two editions hold the same bytes"

rm -f "$work/doc/report.doc"
check first.txt "Snapshot;1"
# The latest snapshot over the first edition.
check second.txt
echo "1 passed, 0 failed"
