#!/usr/bin/env bash
# The program itself, started twice: the first start writes the settings and
# keeps running; the second ends at once with exit code 0 and touches nothing.
#   StartupSmoke.sh PROGRAM VERSION
set -u
program=$1 version=$2
work=$(mktemp -d)
first=
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null && wait "$first" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -m 700 "$work/runtime"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" HOME="$work"
store="$XDG_CONFIG_HOME/corvane/machine.ini"

"$program" >"$work/first.log" 2>&1 &
first=$!
# Up once the lock is held and the last value of the settings is written
# ("Version"; each value rewrites the store whole, so the file never shows
# half a value).
for _ in $(seq 300); do
  grep -qx "Version=sz:$version" "$store" 2>/dev/null && ! flock -n "$XDG_RUNTIME_DIR/Corvane.lock" true && break
  kill -0 "$first" 2>/dev/null || fail "the first start ended: $(cat "$work/first.log")"
  sleep 0.1
done
grep -q '^Version=' "$store" 2>/dev/null || fail "no settings written by the first start: $(cat "$store" 2>&1)"

expected="[Software\\Corvane]
HelpURL=sz:https://corvane.example/help
HomePage=sz:https://corvane.example
CheckUpdate=dword:0
Version=sz:$version"
[ "$(sed '/^$/d' "$store")" = "$expected" ] || fail "store holds: $(cat "$store")"

before=$(stat -c '%Y %s %i' "$store"; ls -A "$work/config/corvane" "$work/runtime")
# The bound only keeps a hang from stalling the suite; the second start is
# expected to end at once.
timeout 20 "$program" >"$work/second.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || fail "second start ended with $rc"
[ -s "$work/second.log" ] && fail "second start printed: $(cat "$work/second.log")"
after=$(stat -c '%Y %s %i' "$store"; ls -A "$work/config/corvane" "$work/runtime")
[ "$before" = "$after" ] || fail "second start changed the store or the runtime folder"
kill -0 "$first" 2>/dev/null || fail "the first instance ended"
echo "ok: store written, second start ended with 0"
