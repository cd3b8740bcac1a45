#!/bin/sh
# Runs the archive fuzz target for a fixed time from the committed seed corpus.
# usage: run-fuzz.sh FUZZER WORK_DIR CORPUS_DIR SECONDS
set -eu
fuzzer=$1 work=$2 corpus=$3 seconds=$4
mkdir -p "$work"
exec "$fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work" "$corpus"
