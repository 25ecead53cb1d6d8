#!/bin/sh
# Writes the sample logs of tests/data/logs: the model engine's drive (the table of matching
# SAMPLE-V1 to SAMPLE-V2, the air really flowing 8 % to 4 % more than SAMPLE-V1's file says) in
# each of the loggers' layouts of tools/datalog/log_layouts.cpp, 40 rows each.
#   usage: tools/datalog/make-sample-logs.sh [BUILD_DIR] [OUT_DIR]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
out=${2:-$root/tests/data/logs}
cli=$build/src/varnel-cli
datalog=$build/tools/datalog/make-datalog
[ -x "$cli" ] && [ -x "$datalog" ] || { echo "no $cli or $datalog: build first (cmake --build $build)" >&2; exit 1; }
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cli" new "$tmp/demo.KEX" > /dev/null
"$cli" match "$root/samples/sample-v1.maf" "$root/samples/sample-v2.maf" --into "$tmp/demo.KEX" > /dev/null
for layout in $("$datalog" --layout list); do
    "$datalog" "$tmp/demo.KEX" "$root/samples/sample-v1.maf" "$root/samples/sample-v2.maf" \
        --error 8:4 --inputs 1.0:4.6 --rows 40 --seed 7 --noise 0.5 --layout "$layout" > "$out/$layout"
done
