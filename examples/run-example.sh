#!/usr/bin/env bash
# The main job on the bundled example; called by `./run.sh example` with the build folder.
# Every subcommand of pimu that exists runs on examples/site.dxf with the example's settings
# (Tokyo); the result drawings, their pictures and the tables go to out/.
set -euo pipefail
build=${1:?usage: run-example.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$here/.." && pwd)/out
mkdir -p "$out"
pimu="$build/src/cli/pimu"
site="$here/site.dxf"
common=(--settings "$here/pimu.ini")
buildings=(--buildings "layer:建物,隣地建物")

available() { ! "$pimu" "$1" --help | grep -q "not available yet"; }

# A drawing subcommand: NAME, then its own options. Writes out/NAME.dxf, .svg and .png.
draw() {
  local name=$1
  shift
  if ! available "$name"; then
    echo "== $name: not in this version of pimu =="
    return 0
  fi
  echo "== $name =="
  "$pimu" "$name" "$site" "${common[@]}" "$@" \
    -o "$out/$name.dxf" --svg "$out/$name.svg" --png "$out/$name.png"
}

echo "== ratio-table (Tokyo, winter solstice) =="
"$pimu" ratio-table "${common[@]}" --csv "$out/ratio-table.csv"

draw shadow "${buildings[@]}"
draw isochrone "${buildings[@]}"
draw preview "${buildings[@]}"

echo
echo "results in $out:"
ls -1 "$out"
