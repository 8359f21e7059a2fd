#!/usr/bin/env bash
# Pimu's one entry point for building, testing and running the example.
#   ./run.sh build     release build into build/release
#   ./run.sh test      sanitizer build into build/sanitize, then every test through CTest
#   ./run.sh example   release build, then the main job on the bundled example (results in out/)
#   ./run.sh gui [DRAWING.dxf]   release build with the desktop window, then starts it
# Each subcommand first installs the Debian packages it needs (deps/*.txt) when they are missing:
# build.txt and build-*.txt always, test-*.txt for tests, example-*.txt for the example,
# gui-*.txt for the desktop window (tests and gui).
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

packages_from() {
  local f
  for f in "$@"; do
    [ -f "$f" ] || continue
    sed -e 's/#.*//' "$f" | tr -s ' \t' '\n' | sed '/^$/d'
  done | sort -u
}

ensure_packages() {
  local missing=() p
  for p in $(packages_from "$@"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "run.sh: installing ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
  local dir=$1
  shift
  cmake -S "$top" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

cmd=${1:-}
case "$cmd" in
  build)
    ensure_packages deps/build.txt deps/build-*.txt
    configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIMU_BUILD_BENCH=ON
    ;;
  test)
    ensure_packages deps/build.txt deps/build-*.txt deps/gui-*.txt deps/test-*.txt
    configure_and_build build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPIMU_SANITIZE=ON -DPIMU_WERROR=ON \
      -DPIMU_BUILD_GUI=ON
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
    ;;
  example)
    ensure_packages deps/build.txt deps/build-*.txt deps/example-*.txt
    configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
    "$top/examples/run-example.sh" "$top/build/release"
    ;;
  gui)
    ensure_packages deps/build.txt deps/build-*.txt deps/gui-*.txt
    cmake -S "$top" -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIMU_BUILD_GUI=ON >/dev/null
    cmake --build build/release -j "$jobs" --target pimu-gui
    shift
    drawing=()
    [ $# -gt 0 ] && drawing=("$(realpath "$1")")
    exec "$top/build/release/src/gui/pimu-gui" "${drawing[@]}"
    ;;
  *)
    echo "usage: ./run.sh build|test|example|gui [DRAWING.dxf]" >&2
    exit 2
    ;;
esac
