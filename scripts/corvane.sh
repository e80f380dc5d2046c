#!/usr/bin/env bash
# Installs what is missing, builds, and then runs the program or the tests.
#   scripts/corvane.sh run        build Corvane alone and start it (under Xvfb when there is no display)
#   scripts/corvane.sh test       build and run every test
#   scripts/corvane.sh sanitize   build with AddressSanitizer and UBSan and run every test
#   scripts/corvane.sh tsan       build the scanning core's tests with ThreadSanitizer and run them
#   scripts/corvane.sh fuzz [S]   build the fuzz targets with clang and run each for S seconds
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

packages=(
  cmake ninja-build g++ pkg-config git
  qt6-base-dev qt6-svg-dev qt6-qpa-plugins
  libgtest-dev libgmock-dev
  libcurl4-openssl-dev libjpeg-dev libgif-dev libpng-dev zlib1g-dev
  libwmf-dev libemf2svg-dev libgmime-3.0-dev
  fonts-dejavu-core xvfb xauth ca-certificates fonts-urw-base35
)
[ "${1:-}" = fuzz ] && packages+=(clang libclang-rt-14-dev)

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR "TARGET..." [cmake options...]
  local dir=$1 target=$2; shift 2
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" --target $target -j "$(nproc)"
}

install_missing
case "${1:-run}" in
  run)
    # The program alone, in a folder of its own: no test is configured or built.
    build build-run corvane -DCORVANE_TESTS=OFF
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      exec ./build-run/frame/corvane
    else
      exec xvfb-run -a -s "-screen 0 1280x800x24" sh -c 'echo "No display: Corvane runs in an invisible Xvfb screen until you end it (Ctrl+C); to look at it, take a screenshot from another terminal: DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY import -window root shot.png"; exec ./build-run/frame/corvane'
    fi ;;
  test)
    build build all
    ctest --test-dir build --output-on-failure -j "$(nproc)" ;;
  sanitize)
    build build-asan all -DCORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-asan --output-on-failure -j "$(nproc)" ;;
  tsan)
    # Both roads of the scan run in these tests, the one with worker threads
    # by default; every race is an error.
    build build-tsan "test_finder_core test_finder_core_review" -DCORVANE_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    for t in test_finder_core test_finder_core_review; do
      TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "build-tsan/tests/finder/core/$t" --gtest_brief=1
    done ;;
  fuzz)
    build build-fuzz fuzzers -DCORVANE_FUZZ=ON -DCORVANE_TESTS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
    secs=${2:-30}
    for f in build-fuzz/tests/fuzz/fuzz_*; do
      [ -f "$f" ] && [ -x "$f" ] || continue
      name=$(basename "$f")
      mkdir -p "build-fuzz/corpus/$name"
      seeds="tests/fuzz/seeds/${name#fuzz_}"
      args=("build-fuzz/corpus/$name")
      [ -d "$seeds" ] && args+=("$seeds")
      echo "== $name for ${secs}s"
      "$f" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 "${args[@]}" 2>&1 | tail -n 3
    done ;;
  *) echo "usage: $0 run|test|sanitize|tsan|fuzz [seconds]" >&2; exit 2 ;;
esac
