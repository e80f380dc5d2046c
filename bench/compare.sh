#!/usr/bin/env bash
# Times corvane-bench's same-content scan against jdupes and fdupes on one
# tree in one run, then the same-name scan, and checks that the duplicate
# files found are the ones jdupes finds.
#   bench/compare.sh [--cold] BENCH_BINARY DIR
# Warm (the default): the tree is read once first, so every tool reads from
# the page cache; each tool's best of two runs counts. --cold drops the page
# cache before every run (needs root) and times one run each.
set -euo pipefail
cold=0
if [ "${1:-}" = --cold ]; then cold=1; shift; fi
[ $# -eq 2 ] || { echo "usage: $0 [--cold] path/to/corvane-bench DIR" >&2; exit 2; }
bench=$1
dir=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
if [ $cold = 1 ] && ! ( drop ) 2>/dev/null; then echo "--cold needs root" >&2; exit 2; fi

once() { # once COMMAND...: wall time of one run in seconds, output discarded
  [ $cold = 1 ] && drop
  local s e
  s=$(date +%s.%N)
  "$@" >/dev/null 2>"$out/err" || { cat "$out/err" >&2; return 1; }
  e=$(date +%s.%N)
  echo "$e - $s" | bc -l
}
timed() { # best of two runs when warm, one run when cold
  local a b
  a=$(once "$@")
  if [ $cold = 1 ]; then echo "$a"; return; fi
  b=$(once "$@")
  echo "if ($a < $b) $a else $b" | bc -l
}

[ $cold = 1 ] || find "$dir" -type f -print0 | xargs -0 cat >/dev/null

content=$(timed "$bench" scan --content "$dir")
mem=$(grep -o 'peak memory.*' "$out/err")
name=$(timed "$bench" scan --name "$dir")
jd=$(timed jdupes -r -q "$dir")
fd=$(timed fdupes -r -q "$dir")

files=$(find "$dir" -type f | wc -l)
printf 'tree                   %s, %d files, %s\n' "$dir" "$files" "$([ $cold = 1 ] && echo cold || echo warm)"
printf 'corvane --content      %.2f s (%s)\n' "$content" "$mem"
printf 'corvane --name         %.2f s\n' "$name"
printf 'jdupes -r              %.2f s\n' "$jd"
printf 'fdupes -r              %.2f s\n' "$fd"
printf 'content / jdupes       %.2f (target <= 1.0)\n' "$(echo "$content / $jd" | bc -l)"
printf 'content / name         %.1f (target >= 5)\n' "$(echo "$content / $name" | bc -l)"

"$bench" scan --content "$dir" 2>/dev/null | awk -F'\t' '$2 == 1 { print $NF }' | sort > "$out/ours"
jdupes -r -q "$dir" | grep -v '^$' | sort > "$out/theirs"
if cmp -s "$out/ours" "$out/theirs"; then
  echo "duplicate files        the same as jdupes finds ($(wc -l < "$out/ours") files)"
else
  echo "duplicate files        DIFFER from jdupes: $(wc -l < "$out/ours") against $(wc -l < "$out/theirs")"
  exit 1
fi
