#!/bin/sh
# Runs the heap's full-disk test on a file system of 4 MiB that it mounts (tmpfs) for the run.
# Mounting needs root; where it cannot mount, the test is reported skipped (exit code 77).
# usage: full-disk.sh FOLDER native|wine PROGRAM [ARGS...]
set -u
dir=$1
kind=$2
shift 2
if [ "$(id -u)" != 0 ] || ! mkdir -p "$dir" || ! mount -t tmpfs -o size=4m cairn-full-disk "$dir" 2>/dev/null; then
  echo "full-disk: no tmpfs of 4 MiB could be mounted at $dir (needs root); skipped"
  exit 77
fi
trap 'umount "$dir" 2>/dev/null || umount -l "$dir"' EXIT
trap 'exit 1' HUP INT TERM PIPE
if [ "$kind" = wine ]; then
  CAIRN_FULL_DISK_DIR="Z:$(printf '%s' "$dir" | tr / '\\')"
else
  CAIRN_FULL_DISK_DIR=$dir
fi
export CAIRN_FULL_DISK_DIR
"$@"
