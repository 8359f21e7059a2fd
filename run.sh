#!/usr/bin/env bash
# Pimu's one entry point for building, testing and running the example.
#   ./run.sh build     release build into build/release (pimu, pimu-gui and the benchmarks)
#   ./run.sh test      sanitizer build into build/sanitize, then every test through CTest
#   ./run.sh example   release build of pimu alone, then the main job on the bundled example
#                      (results in out/; the program is build/release/src/cli/pimu)
#   ./run.sh install   release build of pimu, installed into /usr/local/bin (as root) or
#                      ~/.local/bin (otherwise); PREFIX=DIR ./run.sh install chooses DIR/bin
#   ./run.sh windows   pimu.exe for 64-bit Windows, cross-built with mingw-w64 (build/windows)
#   ./run.sh gui [DRAWING.dxf]   release build of the desktop window pimu-gui, then starts it
# Each subcommand first installs the Debian packages it needs (deps/*.txt) when they are missing:
# build.txt and build-*.txt always, test.txt and test-*.txt for tests, example-*.txt for the
# example, bench.txt for `build`, gui-*.txt for `gui`, `build` and `test` (those builds have the
# window; `example` and `install` build pimu alone and never need Qt), windows.txt for `windows`
# (the Windows tests install their own, windows-tests.txt, and are skipped where they cannot).
# Only the test build configures the tests (and looks for the test-only packages), so `example`
# and `test` work first time in either order.
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
  # One apt run at a time: wait for others (apt's own lock, and /tmp/apt.lock for scripts).
  local apt=("${sudo[@]}" flock /tmp/apt.lock apt-get -o DPkg::Lock::Timeout=600 -qq)
  "${apt[@]}" update
  "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

# ccache speeds up rebuilds when it is installed; it is never required.
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# configure_and_build DIR TARGET|all CMAKE_ARGS...
configure_and_build() {
  local dir=$1 target=$2
  shift 2
  cmake -S "$top" -B "$dir" "${launcher[@]}" "$@" >/dev/null
  if [ "$target" = all ]; then
    cmake --build "$dir" -j "$jobs"
  else
    cmake --build "$dir" -j "$jobs" --target "$target"
  fi
}

# The release build of the program alone: no tests, no benchmarks.
release_pimu() {
  ensure_packages deps/build.txt deps/build-*.txt "$@"
  configure_and_build build/release pimu -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPIMU_BUILD_TESTS=OFF -DPIMU_BUILD_BENCH=OFF -DPIMU_BUILD_GUI=OFF
}

cmd=${1:-}
case "$cmd" in
  build)
    ensure_packages deps/build.txt deps/build-*.txt deps/gui-*.txt deps/bench.txt
    configure_and_build build/release all -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPIMU_BUILD_TESTS=OFF -DPIMU_BUILD_BENCH=ON -DPIMU_BUILD_GUI=ON
    ;;
  test)
    ensure_packages deps/build.txt deps/build-*.txt deps/gui-*.txt deps/test.txt deps/test-*.txt
    configure_and_build build/sanitize all -DCMAKE_BUILD_TYPE=Debug -DPIMU_SANITIZE=ON \
      -DPIMU_WERROR=ON -DPIMU_BUILD_TESTS=ON -DPIMU_BUILD_BENCH=OFF -DPIMU_BUILD_GUI=ON
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
    ;;
  example)
    release_pimu deps/example-*.txt
    "$top/examples/run-example.sh" "$top/build/release"
    echo "pimu is build/release/src/cli/pimu (./run.sh install puts it on the PATH)"
    ;;
  install)
    release_pimu
    if [ -n "${PREFIX:-}" ]; then
      prefix=$PREFIX
    elif [ "$(id -u)" -eq 0 ]; then
      prefix=/usr/local
    else
      prefix=$HOME/.local
    fi
    cmake --install build/release --prefix "$prefix" >/dev/null
    echo "installed $prefix/bin/pimu"
    case ":$PATH:" in
      *":$prefix/bin:"*) ;;
      *) echo "note: $prefix/bin is not on your PATH; add it, e.g. export PATH=\"$prefix/bin:\$PATH\"" >&2 ;;
    esac
    ;;
  windows)
    ensure_packages deps/build.txt deps/windows.txt
    "$top/cmake/build-windows.sh" "$top" build/windows
    ;;
  gui)
    ensure_packages deps/build.txt deps/build-*.txt deps/gui-*.txt
    configure_and_build build/gui pimu-gui -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPIMU_BUILD_TESTS=OFF -DPIMU_BUILD_BENCH=OFF -DPIMU_BUILD_GUI=ON
    shift
    drawing=()
    [ $# -gt 0 ] && drawing=("$(realpath "$1")")
    exec "$top/build/gui/src/gui/pimu-gui" "${drawing[@]}"
    ;;
  *)
    echo "usage: ./run.sh build|test|example|install|windows|gui [DRAWING.dxf]" >&2
    exit 2
    ;;
esac
