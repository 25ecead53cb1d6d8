#!/bin/sh
# Makes the sample meter files from their texts with the editor's Convert and Save, as
# "varnel-cli meter import" runs them.   usage: samples/regenerate.sh [BUILD_DIR]
# sample-convert.txt stays a text: it is the example for the meter editor's Convert button.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
cli=$build/src/varnel-cli
[ -x "$cli" ] || { echo "no $cli: build first (cmake --build $build)" >&2; exit 1; }
for name in sample-v1 sample-v2 sample-f1; do
    "$cli" meter import "$here/$name.txt" "$here/$name.maf"
done
