#!/usr/bin/env bash
# Times corvane-bench's scans against jdupes and fdupes on one or more trees
# and prints, for each tree, the table of ratios from that one run; checks
# that the duplicate files found are the ones jdupes finds and that every
# thread count gives the rows of one thread, byte for byte.
#   bench/compare.sh [--cold] [--runs N] [--cores LIST] [--threads LIST]
#                    [--big DIR] [--pictures DIR] BENCH_BINARY DIR...
# Warm (the default): the tree is read once first, so every tool reads from
# the page cache. --cold drops the page cache before every run (needs root).
# Each command runs N times (3 warm, 1 cold), the commands taking turns; the
# median is given, with the best and the worst run. --cores runs everything
# under taskset -c LIST (0,1: two cores). --threads lists the thread counts
# the scans are also timed at (default 1 2 4 and the cores there are; the
# default count is the cores there are, at least four for a content scan).
# --big times the content scan on a second, larger tree as well, for the
# growth from the first DIR to it (give it the same shape: bench/README.md).
# --pictures times the Photo mode's scan against decoding every picture once
# on one thread.
set -euo pipefail
cold=0 runs= cores= threads= big= pictures=
while [ $# -gt 0 ]; do
  case "$1" in
    --cold) cold=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --cores) cores=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --big) big=$2; shift 2 ;;
    --pictures) pictures=$2; shift 2 ;;
    --*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || { echo "usage: $0 [--cold] [--runs N] [--cores LIST] [--threads LIST] [--big DIR] [--pictures DIR] path/to/corvane-bench DIR..." >&2; exit 2; }
bench=$1; shift
runs=${runs:-$([ $cold = 1 ] && echo 1 || echo 3)}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pin=()
[ -n "$cores" ] && pin=(taskset -c "$cores")
ncores=$("${pin[@]}" nproc)
threads=$(printf '%s\n' 1 ${threads:-2 4 "$ncores"} | sort -nu | tr '\n' ' ')
state=$([ $cold = 1 ] && echo cold || echo warm)

drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
if [ $cold = 1 ] && ! ( drop ) 2>/dev/null; then echo "--cold needs root" >&2; exit 2; fi

once() { # once NAME COMMAND...: one run's wall time appended to NAME's list
  local name=$1 s e; shift
  [ $cold = 1 ] && drop
  s=$(date +%s.%N)
  "${pin[@]}" "$@" >/dev/null 2>"$out/$name.err" || { cat "$out/$name.err" >&2; return 1; }
  e=$(date +%s.%N)
  echo "$e - $s" | bc -l >> "$out/$name"
  cp "$out/$name.err" "$out/$name.last"
}
best() { sort -g "$out/$1" | head -1; }
worst() { sort -g "$out/$1" | tail -1; }
median() { sort -g "$out/$1" | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
span() { printf '%.2f s (%.2f-%.2f)' "$(median "$1")" "$(best "$1")" "$(worst "$1")"; }
ratio() { echo "$1 / $2" | bc -l; }
perfile() { grep -o '[0-9]* bytes per file' "$out/$1.last" | cut -d' ' -f1; }
warmup() { [ $cold = 1 ] || find "$1" -type f -print0 | xargs -0 cat >/dev/null; }

for dir in "$@"; do
  rm -f "$out"/*
  warmup "$dir"
  # The commands take turns in a new order every round: none always runs
  # right after the heaviest one.
  jobs=("content|$bench scan --content" "jdupes|jdupes -r -q" "name|$bench scan --name" "fdupes|fdupes -r -q")
  for t in $threads; do
    jobs+=("content$t|$bench scan --content --threads $t" "name$t|$bench scan --name --threads $t")
  done
  for ((i = 0; i < runs; ++i)); do
    while IFS='|' read -r name command; do
      read -ra words <<< "$command"
      once "$name" "${words[@]}" "$dir"
    done < <(printf '%s\n' "${jobs[@]}" | shuf)
  done

  files=$(find "$dir" -type f | wc -l)
  folders=$(find "$dir" -type d | wc -l)
  printf 'tree                          %s, %d files in %d folders, %s, %s%d cores, median of %d (best-worst)\n' \
    "$dir" "$files" "$folders" "$state" "${cores:+cores $cores, }" "$ncores" "$runs"
  printf 'corvane --content             %s\n' "$(span content)"
  for t in $threads; do printf 'corvane --content --threads %-2d %s\n' "$t" "$(span "content$t")"; done
  printf 'jdupes -r                     %s\n' "$(span jdupes)"
  printf 'fdupes -r                     %s\n' "$(span fdupes)"
  printf 'corvane --name                %s\n' "$(span name)"
  for t in $threads; do printf 'corvane --name --threads %-2d    %s\n' "$t" "$(span "name$t")"; done
  echo

  # The thread count whose content scan was quickest, and the slowest name
  # scan of any thread count against one thread's.
  fastest=1 slowest=1
  for t in $threads; do
    if [ "$(echo "$(median "content$t") < $(median "content$fastest")" | bc -l)" = 1 ]; then fastest=$t; fi
    if [ "$(echo "$(median "name$t") > $(median "name$slowest")" | bc -l)" = 1 ]; then slowest=$t; fi
  done
  printf '| measure | value | target |\n|---|---|---|\n'
  printf '| content scan, %s, against `jdupes -r -q` | %.2f (%.2f s vs %.2f s) | at most %s |\n' "$state" \
    "$(ratio "$(median content)" "$(median jdupes)")" "$(median content)" "$(median jdupes)" \
    "$([ $cold = 1 ] && echo 0.7 || echo 0.35)"
  printf '| same-name scan, default threads against `--threads 1` | %.2f (%.2f s vs %.2f s) | at most 1.0 |\n' \
    "$(ratio "$(median name)" "$(median name1)")" "$(median name)" "$(median name1)"
  printf '| same-name scan, slowest thread count (%s) against `--threads 1` | %.2f | at most 1.0 |\n' "$slowest" \
    "$(ratio "$(median "name$slowest")" "$(median name1)")"
  if [ -f "$out/content4" ]; then
    printf '| content scan, default threads against `--threads 4` | %.2f |  |\n' \
      "$(ratio "$(median content)" "$(median content4)")"
  fi
  printf '| content scan, default threads against the best thread count (%s) | %.2f | at most 1.05 |\n' "$fastest" \
    "$(ratio "$(median content)" "$(median "content$fastest")")"
  printf '| peak memory, content scan | %s B per file | at most 256 |\n' "$(perfile content)"
  printf '| peak memory, same-name scan | %s B per file | at most 256 |\n' "$(perfile name)"

  if [ -n "$big" ]; then
    warmup "$big"
    for ((i = 0; i < runs; ++i)); do once big "$bench" scan --content "$big"; done
    printf '| growth, %s to %s, %s | %.1fx | at most 11x |\n' "$(basename "$dir")" "$(basename "$big")" \
      "$state" "$(ratio "$(median big)" "$(median content)")"
    printf '| peak memory, content scan of %s | %s B per file | at most 256 |\n' "$(basename "$big")" "$(perfile big)"
  fi

  if [ -n "$pictures" ]; then
    warmup "$pictures"
    for ((i = 0; i < runs; ++i)); do
      once similar "$bench" similar --threshold 90 "$pictures"
      once decode "$bench" similar --decode-only "$pictures"
    done
    printf '| Photo scan / one decode of each, single-threaded | %.2f (%.2f s / %.2f s) | at most 0.5 |\n' \
      "$(ratio "$(median similar)" "$(median decode)")" "$(median similar)" "$(median decode)"
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
  for kind in content name; do
    "${pin[@]}" "$bench" scan "--$kind" --threads 1 "$dir" 2>/dev/null > "$out/rows1"
    for t in $threads ""; do
      "${pin[@]}" "$bench" scan "--$kind" ${t:+--threads "$t"} "$dir" 2>/dev/null | cmp -s - "$out/rows1" ||
        { echo "rows: DIFFER between one thread and ${t:-the default} ($kind)"; exit 1; }
    done
  done
  echo "rows: the same at every thread count, content and name scans"
  echo
done
