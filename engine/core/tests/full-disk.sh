#!/bin/sh
# Runs full-disk tests on a file system of 4 MiB that it mounts (tmpfs) for the run. Mounting
# needs root: without it the tests are reported skipped (exit code 77); as root, a mount that
# fails is a failure.
# usage: full-disk.sh FOLDER native|wine PROGRAM [ARGS...]
set -u
dir=$1
kind=$2
shift 2
if [ "$(id -u)" != 0 ]; then
  echo "full-disk: mounting a tmpfs of 4 MiB needs root; skipped"
  exit 77
fi
if ! mkdir -p "$dir" || ! mount -t tmpfs -o size=4m cairn-full-disk "$dir"; then
  echo "full-disk: no tmpfs of 4 MiB could be mounted at $dir" >&2
  exit 1
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
