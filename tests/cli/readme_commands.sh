#!/usr/bin/env bash
# Runs every `pimu` command line of the README as it is written, from the repository root (a copy
# of its examples/ in a scratch folder) with the built pimu on the PATH, as after
# `./run.sh install`. Any command that fails fails the test.
#   readme_commands.sh SOURCE_DIR PIMU_BINARY
set -euo pipefail
src=$1
pimu=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/root"
ln -s "$pimu" "$work/bin/pimu"
cp -r "$src/examples" "$work/root/examples"
export PATH="$work/bin:$PATH"
cd "$work/root"

# The lines of the ```sh blocks that start with "pimu ", a trailing backslash joining the next.
mapfile -t commands < <(awk '
  /^```sh/ { block = 1; next }
  /^```/   { block = 0; next }
  block {
    line = (pending != "") ? pending " " $0 : $0
    if (line ~ /\\$/) { sub(/\\$/, "", line); pending = line; next }
    pending = ""
    sub(/^[ \t]+/, "", line)
    if (line ~ /^pimu( |$)/) print line
  }' "$src/README.md")

if [ ${#commands[@]} -lt 3 ]; then
  echo "README.md: found only ${#commands[@]} pimu command lines" >&2
  exit 1
fi
failed=0
for c in "${commands[@]}"; do
  echo "\$ $c"
  if ! bash -c "$c" >"$work/out" 2>&1; then
    cat "$work/out"
    echo "FAILED: $c" >&2
    failed=1
  fi
done
exit $failed
