#!/usr/bin/env bash
# The main job on the bundled example; called by `./run.sh example` with the build folder.
set -euo pipefail
build=${1:?usage: run-example.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../out"
mkdir -p "$out"
pimu="$build/src/cli/pimu"
echo "== shadow ratio table (default latitude) =="
"$pimu" ratio-table
