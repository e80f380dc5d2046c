#!/usr/bin/env bash
# Non-blank, non-comment C++ lines of tests/ (sample makers under tests/data
# not counted) against those of the rest; fails above the agreed 0.40.
#   scripts/test-ratio.sh [--quiet]
set -euo pipefail
cd "$(dirname "$0")/.."
count() { # count FILE...: lines that are not blank, not // comments and not inside a /* */ comment that opens a line
  [ $# -eq 0 ] && { echo 0; return; }
  awk '
    FNR == 1 { inblock = 0 }
    {
      s = $0
      gsub(/^[ \t\r]+|[ \t\r]+$/, "", s)
      if (inblock) {
        e = index(s, "*/")
        if (e == 0) next
        inblock = 0
        s = substr(s, e + 2); gsub(/^[ \t\r]+/, "", s)
      }
      if (substr(s, 1, 2) == "/*") {
        e = index(substr(s, 3), "*/")
        if (e == 0) { inblock = 1; next }
        s = substr(s, e + 4); gsub(/^[ \t\r]+/, "", s)
      }
      if (s == "" || substr(s, 1, 2) == "//") next
      n++
    }
    END { print n + 0 }' "$@"
}
mapfile -t all < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.c' | grep -v '^tests/data/' | grep -v '^build')
tests=() rest=()
for f in "${all[@]}"; do
  [ -f "$f" ] || continue
  case $f in tests/*) tests+=("$f") ;; *) rest+=("$f") ;; esac
done
t=$(count "${tests[@]}")
r=$(count "${rest[@]}")
ratio=$(awk -v t="$t" -v r="$r" 'BEGIN { printf "%.3f", (r ? t / r : 0) }')
[ "${1:-}" = --quiet ] || echo "tests $t lines, code $r lines, ratio $ratio (at most 0.40)"
awk -v x="$ratio" 'BEGIN { exit !(x <= 0.40) }' || { echo "tests are more than 0.40 of the code" >&2; exit 1; }
