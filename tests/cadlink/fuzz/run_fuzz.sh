#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short, bounded time.
#   run_fuzz.sh SOURCE_DIR BUILD_DIR [SECONDS]
# dxf_reader_fuzz and command_fuzz need the CAD link; options_fuzz (the command line's words and
# the settings file they read) needs the whole program but its pictures.
set -euo pipefail
src=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
seconds=${3:-15}
cxx=${PIMU_FUZZ_CXX:-clang++}
command -v ccache >/dev/null 2>&1 && cxx="ccache $cxx"
jobs=$(nproc 2>/dev/null || echo 2)
flags=(-std=c++20 -gline-tables-only -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I "$src/src")
cadlink=("$src"/src/base/numconv.cpp "$src"/src/base/quote.cpp "$src"/src/base/atomic_file.cpp
         "$src"/src/cadlink/textcodec.cpp "$src"/src/cadlink/textcodec_iconv.cpp
         "$src"/src/cadlink/embedded/*.cpp "$src"/src/view/*.cpp)
program=("${cadlink[@]}" "$src"/src/base/error_text.cpp
         "$src"/src/geometry/*.cpp "$src"/src/solar/*.cpp "$src"/src/shadow/*.cpp "$src"/src/sky/*.cpp
         "$src"/src/boundary/*.cpp "$src"/src/regulation/*.cpp "$src"/src/app/*.cpp
         "$src"/src/cadlink/{connection,tables,reader,insert,dxfoutput,dxftext}.cpp
         "$src"/src/cli/{cli_host,commands,layers,options,selection,session,settings_keys,tables}.cpp
         "$src"/src/cli/{platform_posix,running_cad_none,render_unavailable,regulation_report_unavailable}.cpp)
read -r -a clipper_flags <<<"$(pkg-config --cflags polyclipping)"
read -r -a clipper_libs <<<"$(pkg-config --libs polyclipping)"

object_of() { echo "$out/$(echo "${1#"$src"/}" | tr / _).o"; }

# Every source compiles once, in parallel, into objects the targets share.
stale=()
for f in "${program[@]}"; do
  o=$(object_of "$f")
  if [ ! -f "$o" ] || [ "$f" -nt "$o" ] || [ -n "$(find "$src/src" -name '*.h' -newer "$o" -print -quit)" ]; then
    stale+=("$f")
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  export PIMU_FUZZ_SRC=$src PIMU_FUZZ_OUT=$out
  # shellcheck disable=SC2016
  printf '%s\n' "${stale[@]}" | xargs -P "$jobs" -I{} sh -c \
    'f=$1; shift; o=$(echo "${f#"$PIMU_FUZZ_SRC"/}" | tr / _); exec "$@" -c "$f" -o "$PIMU_FUZZ_OUT/$o.o"' \
    _ {} $cxx "${flags[@]}" -fsanitize=fuzzer-no-link "${clipper_flags[@]}" -DPIMU_VERSION=\"fuzz\"
fi
cadlink_objs=()
program_objs=()
for f in "${cadlink[@]}"; do cadlink_objs+=("$(object_of "$f")"); done
for f in "${program[@]}"; do program_objs+=("$(object_of "$f")"); done

# The seeds: the drawings of the tests, the hostile ones among them, and an outline of 3,000
# vertices made here rather than stored.
many_vertices() {
  printf '0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n5\n2A\n8\nB\n90\n3000\n70\n1\n39\n9000\n'
  awk 'BEGIN { for (i = 0; i < 3000; ++i) { a = 6.283185307 * i / 3000;
               printf "10\n%.1f\n20\n%.1f\n", 20000 * cos(a), 20000 * sin(a) } }'
  printf '0\nENDSEC\n0\nEOF\n'
}

# Seeds of options_fuzz: the byte choosing the command (its place in the command table), the
# words, 0x1E, the settings file.
options_seeds() {
  local c=$1
  printf '\x0f--set\nCommon/ido1=35\n--latitude\n35,41,0\n--step\n60\n--lang\nja\x1e' >"$c/settings"
  cat "$src/examples/pimu.ini" >>"$c/settings"
  printf '\x0f--set\nTouji/chk3=1\n--set\nForm/Left=-5\x1e[Common]\r\nido1="35"\r\n[Form]\nLeft=x\n' >"$c/settings2"
  printf '\x08d.dxf\n--zone\n2-1-4\n--open-side\n1,2,6\n--buildings\nlayer:A,B+handle:1F\n--step\n1\n--report\nr.pdf' >"$c/regulation"
  printf '\x08d.dxf\n--limits\n3,2\n--plane-height\n4\n--site\ncrossing:0,0,10,10+type:LINE' >"$c/limits"
  printf '\x00d.dxf\n--start\n8.5\n--end\n16\n--north\n90\n--interval\n0.5\n--set\nJikoku/kankaku=0.5\n-o\nx.dxf\n--size\n800' >"$c/shadow"
  printf '\x01d.dxf\n--hours\n1.5,2.5,8\n--step\n30\n--season\nsummer\n--png\na.png\n--background\ndark' >"$c/isochrone"
  printf '\x04d.dxf\n--point\n30000,6000\n--type\nB\n--place\n1,2,3\n--north\n-10' >"$c/sky"
  printf '\x03d.dxf\n--marks\nwindow:0,0,10,10\n--point\n1,2\n--plane-height\n1.5\n--csv\np.csv' >"$c/points"
  printf '\x0a--date\n2025-02-11\n--offset\n-2.5\x1e[Jikoku]\nkeido=139.75\n' >"$c/eot"
  printf '\x0b--longitude\n139.75\n--eot\n0\n--verbose\x1e' >"$c/solar-noon"
  printf '\x0dd.dxf\n--view\n30,20\n--help' >"$c/preview"
}

status=0
for target in dxf_reader_fuzz command_fuzz options_fuzz; do
  if [ "$target" = options_fuzz ]; then
    $cxx "${flags[@]}" "$src/tests/cadlink/fuzz/$target.cpp" "${program_objs[@]}" \
      "${clipper_libs[@]}" -lpthread -o "$out/$target"
  else
    $cxx "${flags[@]}" "$src/tests/cadlink/fuzz/$target.cpp" "${cadlink_objs[@]}" -o "$out/$target"
  fi
  corpus="$out/corpus_$target"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  case $target in
    dxf_reader_fuzz)
      cp "$src"/tests/data/cadlink/*.dxf "$src"/tests/data/cli/*.dxf "$src"/tests/data/cadlink/fuzz_seeds/*.dxf "$corpus/"
      many_vertices >"$corpus/many_vertices.dxf"
      ;;
    command_fuzz)
      printf -- '-INSERT\r"*PIMU_1.dxf"\r0,0 1 0\r' >"$corpus/a"
      printf -- '-INSERT\r"PIMU_1.dxf"\rS\r1.0\rR\r0\r' >"$corpus/b"
      printf -- '-LINETYPE\rL\rHIDDEN\rMM.LIN\r\rID\r1,2\r' >"$corpus/c"
      printf -- '-INSERT\rB\r5,5\r1.0 1.0\r30\r' >"$corpus/d"
      ;;
    options_fuzz)
      options_seeds "$corpus"
      ;;
  esac
  echo "fuzzing $target for ${seconds}s"
  if ! (cd "$out" && ASAN_OPTIONS=detect_leaks=1 "./$target" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=1536 -print_final_stats=1 "$corpus" 2>"$out/$target.log"); then
    tail -n 60 "$out/$target.log"
    status=1
  fi
  grep -h '^stat::number_of_executed_units' "$out/$target.log" | sed "s/^/$target: /" || true
done
exit $status
