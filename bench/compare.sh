#!/usr/bin/env bash
# Times corvane-bench's scans against jdupes and fdupes on one tree in one
# run and prints the table of ratios; checks that the duplicate files found
# are the ones jdupes finds.
#   bench/compare.sh [--cold] [--runs N] [--cores LIST] [--big DIR] [--pictures DIR]
#                    BENCH_BINARY DIR
# Warm (the default): the tree is read once first, so every tool reads from
# the page cache. --cold drops the page cache before every run (needs root).
# Each tool runs N times (3 warm, 1 cold), the tools taking turns, and the
# best and the worst run are given. --cores runs everything under
# taskset -c LIST (0,1: two cores). --big times the content scan on a second,
# larger tree as well, for the growth from DIR to it (give DIR the same
# shape: bench/README.md). --pictures times the Photo mode's scan against
# decoding every picture once on one thread.
set -euo pipefail
cold=0 runs= cores= big= pictures=
while [ $# -gt 2 ]; do
  case "$1" in
    --cold) cold=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --cores) cores=$2; shift 2 ;;
    --big) big=$2; shift 2 ;;
    --pictures) pictures=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || { echo "usage: $0 [--cold] [--runs N] [--cores LIST] [--big DIR] [--pictures DIR] path/to/corvane-bench DIR" >&2; exit 2; }
bench=$1
dir=$2
runs=${runs:-$([ $cold = 1 ] && echo 1 || echo 3)}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pin=()
[ -n "$cores" ] && pin=(taskset -c "$cores")

drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
if [ $cold = 1 ] && ! ( drop ) 2>/dev/null; then echo "--cold needs root" >&2; exit 2; fi

once() { # once NAME COMMAND...: one run's wall time appended to NAME's list
  local name=$1 s e; shift
  [ $cold = 1 ] && drop
  s=$(date +%s.%N)
  "${pin[@]}" "$@" >/dev/null 2>"$out/$name.err" || { cat "$out/$name.err" >&2; return 1; }
  e=$(date +%s.%N)
  echo "$e - $s" | bc -l >> "$out/$name"
}
best() { sort -g "$out/$1" | head -1; }
worst() { sort -g "$out/$1" | tail -1; }
span() { printf '%.2f s (%.2f-%.2f)' "$(best "$1")" "$(best "$1")" "$(worst "$1")"; }
ratio() { echo "$1 / $2" | bc -l; }

warmup() { [ $cold = 1 ] || find "$1" -type f -print0 | xargs -0 cat >/dev/null; }
warmup "$dir"

for ((i = 0; i < runs; ++i)); do
  once content "$bench" scan --content "$dir"
  cp "$out/content.err" "$out/content.last"
  once jdupes jdupes -r -q "$dir"
  once plain "$bench" scan --content --threads 1 "$dir"
  once name "$bench" scan --name "$dir"
  cp "$out/name.err" "$out/name.last"
  once name1 "$bench" scan --name --threads 1 "$dir"
  once fdupes fdupes -r -q "$dir"
done
perfile() { grep -o '[0-9]* bytes per file' "$out/$1.last" | cut -d' ' -f1; }

files=$(find "$dir" -type f | wc -l)
printf 'tree                        %s, %d files, %s, %s\n' "$dir" "$files" \
  "$([ $cold = 1 ] && echo cold || echo warm)" "${cores:+cores $cores, }best of $runs (best-worst)"
printf 'corvane --content           %s\n' "$(span content)"
printf 'corvane --content, 1 thread %s\n' "$(span plain)"
printf 'jdupes -r                   %s\n' "$(span jdupes)"
printf 'fdupes -r                   %s\n' "$(span fdupes)"
printf 'corvane --name              %s\n' "$(span name)"
printf 'corvane --name, 1 thread    %s\n' "$(span name1)"
echo
printf '| measure | value | target |\n|---|---|---|\n'
printf '| content scan / jdupes, %s | %.2f (%.2f-%.2f) | at most %s |\n' \
  "$([ $cold = 1 ] && echo cold || echo warm)" "$(ratio "$(best content)" "$(best jdupes)")" \
  "$(ratio "$(best content)" "$(worst jdupes)")" "$(ratio "$(worst content)" "$(best jdupes)")" \
  "$([ $cold = 1 ] && echo 0.7 || echo 0.35)"
printf '| peak memory per file, content scan | %s B | at most 256 B |\n' "$(perfile content)"
printf '| peak memory per file, name scan | %s B | at most 256 B |\n' "$(perfile name)"
printf '| name scan | %.2f s (one thread: %.2f s) | no slower than 0.18 s |\n' "$(best name)" "$(best name1)"

if [ -n "$big" ]; then
  warmup "$big"
  for ((i = 0; i < runs; ++i)); do once big "$bench" scan --content "$big"; done
  printf '| growth, %s to %s, %s | %.1fx | at most 11x |\n' "$(basename "$dir")" "$(basename "$big")" \
    "$([ $cold = 1 ] && echo cold || echo warm)" "$(ratio "$(best big)" "$(best content)")"
  printf '| peak memory per file, content scan of %s | %s B | at most 256 B |\n' "$(basename "$big")" \
    "$(grep -o '[0-9]* bytes per file' "$out/big.err" | cut -d' ' -f1)"
fi

if [ -n "$pictures" ]; then
  warmup "$pictures"
  for ((i = 0; i < runs; ++i)); do
    once similar "$bench" similar --threshold 90 "$pictures"
    once decode "$bench" similar --decode-only "$pictures"
  done
  printf '| Photo scan / one decode of each, single-threaded | %.2f (%.2f s / %.2f s) | at most 0.5 |\n' \
    "$(ratio "$(best similar)" "$(best decode)")" "$(best similar)" "$(best decode)"
fi
echo

"${pin[@]}" "$bench" scan --content "$dir" 2>/dev/null | awk -F'\t' '$2 == 1 { print $NF }' | sort > "$out/ours"
jdupes -r -q "$dir" | grep -v '^$' | sort > "$out/theirs"
if cmp -s "$out/ours" "$out/theirs"; then
  echo "duplicate files: the same as jdupes finds ($(wc -l < "$out/ours") files)"
else
  echo "duplicate files: DIFFER from jdupes: $(wc -l < "$out/ours") against $(wc -l < "$out/theirs")"
  exit 1
fi
"${pin[@]}" "$bench" scan --content --threads 1 "$dir" 2>/dev/null | cmp -s - <("${pin[@]}" "$bench" scan --content "$dir" 2>/dev/null) &&
  echo "rows: the same with one thread and with all" || { echo "rows: DIFFER between one thread and all"; exit 1; }
