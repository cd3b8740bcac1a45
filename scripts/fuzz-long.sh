#!/usr/bin/env bash
# Runs every fuzz target from its seed corpus for a long time, all at once and at low priority:
# the run to make before a release (CI's runs are short). Each target's output goes to LOGDIR.
# usage: scripts/fuzz-long.sh [SECONDS [LOGDIR]]   (default 1800 seconds each, logs in build/host)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-1800}
build="$root/build/host"
logs=${2:-$build}
bash "$root/scripts/build.sh" host fuzz_archive fuzz_differences fuzz_items >/dev/null
run="$root/engine/core/fuzz/run-fuzz.sh"
pids=()
start() {  # name, binary, seed corpus
  nice -n 19 "$run" "$2" "$build/fuzz-long/$1" "$3" "$seconds" >"$logs/fuzz-long-$1.log" 2>&1 &
  pids+=($!)
}
start archive "$build/engine/core/fuzz/fuzz_archive" "$root/engine/core/fuzz/corpus"
start differences "$build/engine/core/fuzz/fuzz_differences" "$root/engine/core/fuzz/differences"
start items "$build/shell/core/fuzz_items" "$root/shell/core/fuzz/corpus"
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
for name in archive differences items; do
  tail -n 3 "$logs/fuzz-long-$name.log" | sed "s/^/$name: /"
done
[ "$failed" = 0 ] || echo "a fuzz target found a fault: see the logs and the inputs saved in $build/fuzz-long" >&2
exit "$failed"
