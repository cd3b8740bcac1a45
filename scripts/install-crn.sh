#!/usr/bin/env bash
# Installs the host tree's crn onto the path (/usr/local/bin by default, or the folder given).
# usage: scripts/install-crn.sh [FOLDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/host/cli/crn/crn"
if [ ! -x "$bin" ]; then
  echo "install-crn: build the host tree first (bash scripts/build.sh host crn)" >&2
  exit 1
fi
folder=${1:-/usr/local/bin}
install -D -m 0755 "$bin" "$folder/crn"
echo "crn installed as $folder/crn"
