#!/usr/bin/env bash
# Takes a picture of the progress window in the middle of a real snapshot: cn snapshots a large
# generated folder into a new archive (default options, so the window shows) under Wine and
# Xvfb, then snapshots it again after some changes, and the whole screen is captured while the
# second snapshot works.
# usage: scripts/screenshot-progress.sh [BUILD_TREE] (default build/win64, with cn and cairn built)
# Writes BUILD_TREE/screenshots/progress-window.png. It starts and stops the tree's Wine session,
# so do not run it while ctest runs in the same tree.
set -euo pipefail
source "$(dirname "$0")/wine-tree.sh" screenshot-progress "${1:-}"

require_built "cn cairn" "$build/cli/cn.exe" "$build/engine/cairn.dll"
command -v import >/dev/null || { echo "screenshot-progress: needs imagemagick's import" >&2; exit 1; }

# Its own work folder: the other pictures in the screenshots folder stay.
pictures="$build/screenshots"
work="$pictures/progress"
data="$work/Customer Projects/Reports"
rm -rf "$work"
mkdir -p "$work"
# Enough files of some size that a snapshot takes several seconds, with names long enough that
# the window shortens them.
for d in $(seq 1 8); do
  dir="$data/Quarter $d/Working drafts"
  mkdir -p "$dir"
  for f in $(seq 1 120); do
    head -c $((2000 + (d * 977 + f * 131) % 60000)) /dev/urandom >"$dir/summary-$d-$f.dat"
  done
done

start_session
display=$(cat "$state/display")
run rundll32 "$(windows "$build/engine/cairn.dll"),DllRegister"

archive=$(windows "$work/x.crn")
folder=$(windows "$work/Customer Projects")
# The first snapshot archives everything and tells the archive how far the bar goes.
start=$(date +%s%N)
run "$build/cli/cn.exe" /v /c /a "$folder" "$archive" || [ $? -eq 1 ]  # 1: a snapshot was made
took_ms=$((($(date +%s%N) - start) / 1000000))
# The second compares every file again and finds some changed: halfway through, the picture.
for f in "$data"/Quarter*/Working\ drafts/summary-*-1[0-9].dat; do head -c 3000 /dev/urandom >"$f"; done
run "$build/cli/cn.exe" /v "$archive" &
cn=$!
sleep "$(printf '%d.%03d' $((took_ms / 2000)) $((took_ms / 2 % 1000)))"
kill -0 $cn 2>/dev/null || echo "screenshot-progress: the snapshot ended before the picture was taken" >&2
import -display "$display" -window root "$pictures/progress-window.png"
wait $cn || true
echo "screenshot-progress: wrote $pictures/progress-window.png"
