#!/usr/bin/env bash
# Configures and builds one tree: host (portable core, clang, sanitizers, fuzz target),
# win64 (every Windows deliverable and its tests) or i686 (compile-and-link check only).
# usage: scripts/build.sh host|win64|i686 [targets...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$1
shift
build="$root/build/$tree"
case "$tree" in
  host) args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  win64) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake") ;;
  i686) args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake") ;;
  *) echo "usage: scripts/build.sh host|win64|i686 [targets...]" >&2; exit 2 ;;
esac
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
fi
if [ $# -gt 0 ]; then
  cmake --build "$build" --target "$@"
else
  cmake --build "$build"
fi
