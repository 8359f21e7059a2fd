#!/usr/bin/env bash
# The Windows tests under Wine, one step per CTest test (see CMakeLists.txt):
#   setup        installs deps/windows-tests.txt where missing (else all steps are skipped),
#                cross-builds pimu.exe, the stand-in CAD and the COM tests (mingw-w64, -O1), makes
#                the run's Wine prefix and registers the stand-in under the target CADs' ProgIDs
#   com          the COM tests (com_test.exe)
#   shadow, isochrone   pimu.exe --cad running against the stand-in gives the drawing the Linux
#                pimu gives on the same file
#   not_running  no CAD running: the message and status 1
#   server_dies  the CAD dies in the middle of a command: a clear message, no hang
#   rejected     the CAD refuses calls for a while: they are retried and the result is the same
#   dxf_file     pimu.exe on a DXF file saves the drawing the Linux pimu saves, replaces its own
#                earlier result whole and refuses a folder as output
#   cleanup      ends the prefix's wineserver and removes the prefix
# Environment (from CTest): PIMU_SOURCE, PIMU_CROSS_BUILD, PIMU_WINE_STATE, PIMU_LINUX.
set -euo pipefail
step=${1:?step}
state=${PIMU_WINE_STATE:?}
cross=${PIMU_CROSS_BUILD:?}
src=${PIMU_SOURCE:?}

wine_dir=/usr/lib/wine
wine=$wine_dir/wine64
wineserver=$wine_dir/wineserver
export WINEPREFIX=$state/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The ProgIDs of the target CADs the stand-in answers to.
progids=(BricscadApp.AcadApplication AutoCAD.Application ZWCAD.Application GCAD.Application)
site=$src/examples/site.dxf
pimu_extra=()  # options for both the Windows and the Linux run
settings=$src/examples/pimu.ini

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
winpath() { printf 'Z:%s' "${1//\//\\}"; }

if [ "$step" != setup ] && [ -f "$state/skipped" ]; then skip "$(cat "$state/skipped")"; fi

pimu_exe=$cross/src/cli/pimu.exe
standin_exe=$cross/tests/windows/pimu_standin.exe

# ---- stand-in control ---------------------------------------------------------------------------
standin_pid=
start_standin() {  # dir, extra stand-in options...
  local dir=$1
  shift
  mkdir -p "$dir"
  # The buildings only: the site outline, the point marks and the wall line have no height.
  printf 'select layer 建物\n+ select layer 隣地建物\n' >"$dir/picks.txt"
  rm -f "$dir/ready" "$dir/quit" "$dir/cad.dxf"
  "$wine" "$standin_exe" --open "$(winpath "$site")" --script "$(winpath "$dir/picks.txt")" \
    --save "$(winpath "$dir/cad.dxf")" --quit-file "$(winpath "$dir/quit")" \
    --ready-file "$(winpath "$dir/ready")" --log "$(winpath "$dir/standin.log")" "$@" \
    </dev/null >"$dir/standin.out" 2>&1 &
  standin_pid=$!
  for _ in $(seq 1 300); do
    [ -f "$dir/ready" ] && return 0
    kill -0 "$standin_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$dir/standin.log" 2>/dev/null || true
  fail "the stand-in CAD did not start"
}
stop_standin() {  # dir
  touch "$1/quit"
  for _ in $(seq 1 300); do
    kill -0 "$standin_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$standin_pid" 2>/dev/null && { kill "$standin_pid"; fail "the stand-in CAD did not end"; }
  wait "$standin_pid" || true
}

run_pimu_exe() {  # dir, command, options... ; status in $status, output in dir/pimu.out/err
  local dir=$1
  shift
  mkdir -p "$dir/work"
  status=0
  timeout "${PIMU_EXE_TIMEOUT:-240}" "$wine" "$pimu_exe" "$@" --settings "$(winpath "$settings")" \
    --workdir "$(winpath "$dir/work")" </dev/null >"$dir/pimu.out" 2>"$dir/pimu.err" || status=$?
  tr -d '\r' <"$dir/pimu.err" >"$dir/pimu.err.txt"
  cat "$dir/pimu.out" "$dir/pimu.err.txt"
}

same_as_linux() {  # command, dir
  local command=$1 dir=$2
  mkdir -p "$dir/linux-work"
  "$PIMU_LINUX" "$command" "$site" --settings "$settings" --buildings layer:建物,隣地建物 \
    "${pimu_extra[@]}" --workdir "$dir/linux-work" -o "$dir/linux.dxf" >/dev/null
  python3 "$src/tests/windows/compare_dxf.py" "$dir/linux.dxf" "$dir/cad.dxf"
}

drawing_command() {  # command, dir, stand-in options...
  local command=$1 dir=$2
  shift 2
  start_standin "$dir" "$@"
  run_pimu_exe "$dir" "$command" --cad running "${pimu_extra[@]}"
  stop_standin "$dir"
  [ "$status" -eq 0 ] || fail "pimu.exe $command --cad running ended with status $status"
  same_as_linux "$command" "$dir"
}

# ---- packages -----------------------------------------------------------------------------------
# Installs the packages of deps/windows-tests.txt that are missing: as root, or through sudo when
# it needs no password; waits for any other apt run. Sets `missing`; on failure `why` says why.
missing=()
why=
install_packages() {
  local p
  for p in $(sed -e 's/#.*//' "$src/deps/windows-tests.txt"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo -n true 2>/dev/null || { why="not root, and sudo asks for a password"; return 1; }
    sudo=(sudo -n)
  fi
  local log=$state/apt.log
  export DEBIAN_FRONTEND=noninteractive
  local apt=("${sudo[@]}" flock /tmp/apt.lock apt-get -o DPkg::Lock::Timeout=600 -qq)
  if ! { "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; } \
    >"$log" 2>&1; then
    why="apt-get failed: $(grep -m1 '^E:' "$log" || tail -n1 "$log")"
    return 1
  fi
}

# ---- steps --------------------------------------------------------------------------------------
case "$step" in
  setup)
    rm -rf "$state"
    mkdir -p "$state"
    SECONDS=0
    install_packages || {
      echo "cannot install ${missing[*]} (deps/windows-tests.txt): $why" >"$state/skipped"
      skip "$(cat "$state/skipped")"
    }
    [ ${#missing[@]} -eq 0 ] || echo "installed ${missing[*]}: ${SECONDS} s"
    SECONDS=0
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if ! cmake -S "$src" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 -DPIMU_BUILD_TESTS=OFF \
      -DPIMU_BUILD_WINDOWS_TESTS=ON -DPIMU_WERROR=ON "${launcher[@]}" >"$state/configure.log" 2>&1
    then
      cat "$state/configure.log"
      # Clipper's source comes from the Debian archive like the packages: no archive, no tests.
      if grep -q "Cannot download Clipper's source" "$state/configure.log"; then
        echo "cannot download Clipper's source from the Debian archive" >"$state/skipped"
        skip "$(cat "$state/skipped")"
      fi
      fail "cannot configure the Windows build"
    fi
    cmake --build "$cross" -j "$(nproc)" --target pimu pimu_standin com_test
    echo "cross build: ${SECONDS} s"
    SECONDS=0
    "$wine" wineboot -i >/dev/null 2>&1
    "$wineserver" -k || true  # Wine starts RpcSs only after a restart of the first boot
    "$wine" "$standin_exe" /regserver "${progids[@]}" </dev/null >/dev/null 2>&1 ||
      fail "cannot register the stand-in"
    echo "wine prefix: ${SECONDS} s"
    ;;
  cleanup)
    [ -d "$WINEPREFIX" ] && { "$wineserver" -k 2>/dev/null || true; }
    rm -rf "$state"
    ;;
  com)
    "$wine" "$cross/tests/windows/com_test.exe" </dev/null
    ;;
  shadow)
    drawing_command shadow "$state/shadow"
    ;;
  isochrone)
    # A drawing of one block keeps the sanitized Linux run of the raster short.
    site=$src/tests/data/cli/one_block.dxf
    pimu_extra=(--set Target/ProgID=ZWCAD.Application)  # another target CAD of the list
    drawing_command isochrone "$state/isochrone"
    ;;
  not_running)
    dir=$state/not_running
    run_pimu_exe "$dir" shadow --cad running
    [ "$status" -eq 1 ] || fail "status $status, not 1"
    grep -q "有効な CAD が見つかりません．" "$dir/pimu.err.txt" || fail "no message that the CAD is not running"
    ;;
  server_dies)
    dir=$state/server_dies
    start_standin "$dir" --die-on SendCommand
    run_pimu_exe "$dir" shadow --cad running
    wait "$standin_pid" || true
    [ "$status" -ne 124 ] || fail "pimu.exe hung when the CAD died"
    [ "$status" -eq 1 ] || fail "status $status, not 1"
    grep -q "The CAD stopped answering" "$dir/pimu.err.txt" || fail "no message that the CAD is gone"
    ;;
  rejected)
    dir=$state/rejected
    drawing_command shadow "$dir" --reject-after 30 --reject 3
    grep -q "^rejected 3 calls" "$dir/standin.log" || fail "the stand-in refused no call"
    ;;
  dxf_file)
    dir=$state/dxf_file
    for round in first again; do  # the second save replaces the first result
      run_pimu_exe "$dir" shadow "$(winpath "$site")" --buildings layer:建物,隣地建物 -o "$(winpath "$dir/cad.dxf")"
      [ "$status" -eq 0 ] || fail "pimu.exe shadow DRAWING.dxf ($round) ended with status $status"
    done
    ls "$dir" | grep -q 'pimu-tmp' && fail "a temporary file was left beside the result"
    same_as_linux shadow "$dir"
    mkdir -p "$dir/folder.dxf"
    run_pimu_exe "$dir" shadow "$(winpath "$site")" --buildings layer:建物,隣地建物 -o "$(winpath "$dir/folder.dxf")"
    [ "$status" -eq 2 ] || fail "a folder as output: status $status, not 2"
    grep -q "a folder, not a file" "$dir/pimu.err.txt" || fail "no message that the output is a folder"
    ;;
  *)
    fail "unknown step $step"
    ;;
esac
