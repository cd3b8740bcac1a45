#!/usr/bin/env bash
# The History page's lookup: a file held by ARCHIVES archives of SNAPSHOTS snapshots each (10 and
# 1,000 unless given), timed in fresh processes (first lookup, then a second in the same process).
# The first process of each file starts cold: as root, the host's file cache is dropped before it.
# The archives are made once and kept in build/bench/history.
# usage: bash bench/history.sh [ARCHIVES SNAPSHOTS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archives=${1:-10}
snapshots=${2:-1000}
work="$root/build/bench/history"
state="$root/build/bench/wine"
bash "$root/scripts/build.sh" win64 cairn historybench >/dev/null
mkdir -p "$work"
"$root/cmake/wine/wine-session" start "$state" >/dev/null
trap '"$root/cmake/wine/wine-session" stop "$state"' EXIT
run() { "$root/cmake/wine/wine-run" "$state" "$@"; }
win() { echo "Z:${1//\//\\}"; }
dll=$(cd "$root/build/win64/engine" && pwd)/cairn.dll
run rundll32 "$(win "$dll")",DllRegister
bench="$root/build/win64/bench/historybench.exe"
data="$work/$archives-$snapshots"
if [ ! -f "$data/h$((archives - 1)).crn" ]; then
  start=$(date +%s)
  run "$bench" make "$(win "$data")" "$archives" "$snapshots"
  echo "made $archives archives of $snapshots snapshots in $(( $(date +%s) - start )) s"
fi
list=()
for ((i = 0; i < archives; i++)); do list+=("$(win "$data/h$i.crn")"); done
for file in 'data\sub\doc.txt' 'data\tick.txt' 'data\missing.txt'; do
  for n in 1 2 3; do
    if [ "$n" = 1 ] && [ -w /proc/sys/vm/drop_caches ]; then sync && echo 3 >/proc/sys/vm/drop_caches; fi
    echo "$file run $n: $(run "$bench" time "$(win "$data")\\$file" "${list[@]}")"
  done
done
