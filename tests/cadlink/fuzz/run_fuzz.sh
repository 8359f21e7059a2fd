#!/usr/bin/env bash
# Builds the CAD link's libFuzzer targets with clang and runs each for a short, bounded time.
#   run_fuzz.sh SOURCE_DIR BUILD_DIR [SECONDS]
set -euo pipefail
src=$1
mkdir -p "$2"
out=$(cd "$2" && pwd)
seconds=${3:-15}
mkdir -p "$out"
cxx=${PIMU_FUZZ_CXX:-clang++}
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I "$src/src")
lib=("$src"/src/base/numconv.cpp "$src"/src/base/quote.cpp "$src"/src/base/atomic_file.cpp "$src"/src/cadlink/textcodec.cpp
     "$src"/src/cadlink/embedded/*.cpp "$src"/src/view/*.cpp)

# The sources compile once into objects shared by both targets.
objs=()
for f in "${lib[@]}"; do
  o="$out/$(echo "${f#"$src"/}" | tr / _).o"
  if [ ! -f "$o" ] || [ "$f" -nt "$o" ] || [ -n "$(find "$src/src" -name '*.h' -newer "$o" -print -quit)" ]; then
    "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$f" -o "$o"
  fi
  objs+=("$o")
done

status=0
for target in dxf_reader_fuzz command_fuzz; do
  "$cxx" "${flags[@]}" "$src/tests/cadlink/fuzz/$target.cpp" "${objs[@]}" -o "$out/$target"
  corpus="$out/corpus_$target"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ "$target" = dxf_reader_fuzz ]; then
    cp "$src"/tests/data/cadlink/*.dxf "$src"/tests/data/cli/*.dxf "$corpus/"
  else
    printf -- '-INSERT\r"*PIMU_1.dxf"\r0,0 1 0\r' >"$corpus/a"
    printf -- '-INSERT\r"PIMU_1.dxf"\rS\r1.0\rR\r0\r' >"$corpus/b"
    printf -- '-LINETYPE\rL\rHIDDEN\rMM.LIN\r\rID\r1,2\r' >"$corpus/c"
    printf -- '-INSERT\rB\r5,5\r1.0 1.0\r30\r' >"$corpus/d"
  fi
  echo "fuzzing $target for ${seconds}s"
  if ! (cd "$out" && ASAN_OPTIONS=detect_leaks=1 "./$target" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=1536 -print_final_stats=0 "$corpus" 2>"$out/$target.log"); then
    tail -n 60 "$out/$target.log"
    status=1
  fi
done
exit $status
