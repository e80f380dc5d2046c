#!/usr/bin/env bash
# Takes pictures of the main window in every mode and page, and of runs on
# the sample files, under Xvfb: take-shots.sh [FOLDER] (default build/shots).
# BUILD names another build folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD:-$top/build}
out=${1:-$build/shots}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target corvane-shots
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/shots/corvane-shots" "$out"
