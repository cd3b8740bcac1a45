# Sourced by the scripts that drive a build tree's programs under Wine and Xvfb. Sets root, build
# (the tree: the second argument, default build/win64), state (its Wine state: the third argument,
# default the tree's own, BUILD_TREE/wine) and these functions:
#   run PROGRAM [ARGS...]          runs a program in the tree's Wine prefix;
#   windows PATH                   a Linux path as Wine names it;
#   require_built TARGETS FILE...  stops, naming the build command, when a file is missing;
#   start_session                  starts the tree's Wine session and stops it when the script ends.
#   quietly WHAT COMMAND [ARGS...] runs a command with its output (Wine's own messages among it)
#                                  kept in a log that is shown only when the command fails.
# usage: source scripts/wine-tree.sh SCRIPT_NAME [BUILD_TREE [STATE_DIR]]
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${2:-$root/build/win64}" && pwd)
state=$(mkdir -p "${3:-$build/wine}" && cd "${3:-$build/wine}" && pwd)
script_name=$1
run() { "$root/cmake/wine/wine-run" "$state" "$@"; }
windows() { echo "Z:$1" | sed 's|/|\\|g'; }
require_built() {
  local targets=$1
  shift
  for f in "$@"; do
    [ -f "$f" ] || { echo "$script_name: $f is not built (scripts/build.sh win64 $targets)" >&2; exit 1; }
  done
}
quietly() {
  local what=$1 log
  shift
  log=$(mktemp)
  if "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  else
    local code=$?
    echo "$script_name: $what failed (exit code $code):" >&2
    cat "$log" >&2
    rm -f "$log"
    return $code
  fi
}
start_session() {
  "$root/cmake/wine/wine-session" start "$state" >/dev/null
  trap '"$root/cmake/wine/wine-session" stop "$state"' EXIT
}
