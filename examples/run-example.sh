#!/usr/bin/env bash
# The main job on the bundled example; called by `./run.sh example` with the build folder.
# Every subcommand of pimu that exists runs on examples/site.dxf with the example's settings
# (examples/pimu.ini: Tokyo, 35°41′ N, winter solstice); the result drawings, their pictures and
# the tables go to out/.
set -euo pipefail
build=${1:?usage: run-example.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out=$(cd "$here/.." && pwd)/out
mkdir -p "$out"
pimu="$build/src/cli/pimu"
site="$here/site.dxf"
# The settings name the building layers (Layer/Tatemono=建物,隣地建物), so no --buildings.
settings=(--settings "$here/pimu.ini")

available() { ! "$pimu" "$1" --help | grep -q "not available yet"; }

# One subcommand on the example: NAME, then its own options. The result drawing goes to
# out/NAME.dxf with its pictures out/NAME.svg and out/NAME.png.
run() {
  local name=$1
  shift
  if ! available "$name"; then
    echo "== $name: not in this version of pimu =="
    return 0
  fi
  echo "== $name =="
  # A command that reports a problem (status 1) still saves what it drew; the run goes on.
  local status=0
  "$pimu" "$name" "$site" "${settings[@]}" "$@" \
    -o "$out/$name.dxf" --svg "$out/$name.svg" --png "$out/$name.png" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "(pimu $name ended with status $status)"
    [ "$status" -eq 1 ] || exit "$status"
  fi
}

echo "== ratio-table: shadow ratios at Tokyo's latitude, winter solstice =="
"$pimu" ratio-table "${settings[@]}" --csv "$out/ratio-table.csv" --dms
run ratio-table --place 80000,50000

run shadow
run isochrone
# The deemed boundary lines 5 m and 10 m outside the site drawn on layer 敷地.
run boundary --site layer:敷地
# The shadows on the neighbour's facade (the LINE on layer 壁面) and its isochrones, drawn along it.
run wall --wall 35000,62000

# The shadow-regulation check of the planned buildings (layer 建物; the neighbour's is not ours)
# against zone 2-1-4 (mid/high-rise residential, 3 h / 2 h on a 4 m plane) around the site on
# layer 敷地: the drawing, its picture, the report sheet and the table. A design that does not
# comply (status 3) is a result like any other, and the run goes on.
if available regulation; then
  echo "== regulation =="
  status=0
  "$pimu" regulation "$site" "${settings[@]}" --buildings layer:建物 --site layer:敷地 \
    --zone 2-1-4 -o "$out/regulation.dxf" --png "$out/regulation.png" \
    --report "$out/regulation.pdf" --csv "$out/regulation.csv" || status=$?
  case $status in
    0) echo "(the design complies)" ;;
    3) echo "(the design does not comply: see $out/regulation.pdf)" ;;
    *) exit "$status" ;;
  esac
fi

echo "== eot, solar-noon: the equation of time today, true solar noon at Tokyo's longitude =="
"$pimu" eot
"$pimu" solar-noon "${settings[@]}" --longitude 139.75
# The shadow times of the site's point marks; the summary block placed beside the site.
run points --marks layer:測定点 --place 90000,70000 --csv "$out/points.csv"

# The wireframe preview is the window's small picture; --place also draws it into the drawing.
echo "== preview =="
"$pimu" preview "$site" "${settings[@]}" --view 315,60 \
  --svg "$out/preview.svg" --png "$out/preview.png" --place 100000,0 -o "$out/preview.dxf"

# The sky factors of the measurement points marked on the site (circles with numbers).
echo "== sky-list: sky factors of the marked points =="
"$pimu" sky-list "$site" "${settings[@]}" --marks layer:測定点 --csv "$out/sky-list.csv"
# The type B sky map of point 3 with its triangle area table and position table, and the type A
# maps of every marked point in a row below the site.
run sky --point 30000,6000 --type B --place 30000,-30000
run sky-batch --marks layer:測定点 --type A --center 0,-20000

# The sky factors at the statutory points of the slant limits (mid/high-rise residential group,
# the road of 6 m on the south side) against the conforming buildings, with the report.
if available sky-compare; then
  echo "== sky-compare =="
  status=0
  "$pimu" sky-compare "$site" "${settings[@]}" --buildings layer:建物 --site layer:敷地 \
    --road 30000,-1000,6 --zone mid-high -o "$out/sky-compare.dxf" \
    --png "$out/sky-compare.png" --report "$out/sky-compare.pdf" \
    --csv "$out/sky-compare.csv" || status=$?
  case $status in
    0) echo "(every point keeps the conforming buildings' sky factor)" ;;
    3) echo "(a point falls short: see $out/sky-compare.pdf)" ;;
    *) exit "$status" ;;
  esac
fi
echo
echo "results in $out:"
ls -1 "$out"
