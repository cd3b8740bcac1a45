#!/usr/bin/env bash
# Sets up the machine, builds every tree and runs all tests: the host tree (portable core under
# AddressSanitizer and UBSan, then the fuzz target for a fixed time) and the win64 tree under
# Wine; the i686 tree is only compiled and linked, since this machine cannot run 32-bit code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

echo "== host tree: portable core, sanitizers, fuzzing"
bash "$root/scripts/build.sh" host
(cd "$root/build/host" && ctest --output-on-failure)
# The native crn goes onto the path before the win64 tree's tests, which run it on what cn writes.
bash "$root/scripts/install-crn.sh"

echo "== win64 tree: Windows binaries under Wine"
bash "$root/scripts/build.sh" win64
(cd "$root/build/win64" && ctest --output-on-failure)

echo "== i686 tree: compile and link"
bash "$root/scripts/build.sh" i686
echo "i686 build: compiled and linked"
