#!/usr/bin/env bash
# The benchmark: cn under Wine beside rdiff-backup, git and restic (native), on deterministic
# data, with the floors of reading, comparing and compressing the same data. Writes
# bench/results/<date>-<host>.md and bench/results/latest.md. It is not a test: a failing step
# shows up in the table's notes, and the command still ends with 0.
# usage: bash bench/run.sh [--quick] [options of bench/bench.py, e.g. --runs 1 --rounds 2 --sets ab]
#   --quick: one run, two rounds, 2,000-file tree and compound document only (a few minutes)
#   --scaling: instead, snapshot time against the number of files (bench/scaling.py; options of
#              that script follow, e.g. --counts 2000,10000,50000)
#   --long-life: instead, free space after 300 snapshots of a 50-file tree (bench/longlife.py)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work="$root/build/bench"
state="$work/wine"
args=()
scaling=no
longlife=no
for a in "$@"; do
  if [ "$a" = --scaling ]; then scaling=yes; continue; fi
  if [ "$a" = --long-life ]; then longlife=yes; continue; fi
  if [ "$a" = --quick ]; then args+=(--runs 1 --rounds 2 --sets ac --comment "Quick mode: one run, two rounds.");
  else args+=("$a"); fi
done

bash "$root/scripts/setup.sh" || exit 0
missing=()
for p in rdiff-backup git restic python3 tar diffutils; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench: installing ${missing[*]}"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
bash "$root/scripts/build.sh" win64 cairn cn crnbench benchstart benchread crninspect >/dev/null || { echo "bench: build failed" >&2; exit 0; }

mkdir -p "$work"
# A Wine session of its own (prefix, display, persistent server), so that a process starts in a
# fraction of a second, and the test trees' sessions are left alone.
"$root/cmake/wine/wine-session" start "$state" >/dev/null
trap '"$root/cmake/wine/wine-session" stop "$state"' EXIT
dll=$(cd "$root/build/win64/engine" && pwd)/cairn.dll
"$root/cmake/wine/wine-run" "$state" rundll32 "Z:${dll//\//\\}",DllRegister

if [ "$scaling" = yes ]; then
  python3 "$root/bench/scaling.py" --root "$root" --build "$root/build/win64" --state "$state" --work "$work/scaling" \
    "${args[@]}" || echo "bench: the scaling run stopped early" >&2
  exit 0
fi
if [ "$longlife" = yes ]; then
  python3 "$root/bench/longlife.py" --root "$root" --build "$root/build/win64" --state "$state" --work "$work/long-life" \
    "${args[@]}" || echo "bench: the long-life run stopped early" >&2
  exit 0
fi

# The native crn, optimised (the host tree has the sanitizers).
cmake -S "$root" -B "$root/build/host-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCAIRN_SANITIZE=OFF -DCAIRN_FUZZ=OFF >/dev/null && cmake --build "$root/build/host-release" --target crn >/dev/null ||
  echo "bench: crn did not build; its row is left out" >&2
crn="$root/build/host-release/cli/crn/crn"
[ -x "$crn" ] || crn=""
python3 "$root/bench/bench.py" --root "$root" --build "$root/build/win64" --state "$state" --work "$work" --crn "$crn" "${args[@]}" \
  || echo "bench: the run stopped early; see $work/bench.log" >&2
exit 0
