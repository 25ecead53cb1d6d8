#!/bin/sh
# Puts the sample meters where the program looks for them: the meter files and the sample
# datalog into the Ford and Import group folders of a program folder (a new project's group is
# Ford, so Edit > Match lists them at once and Edit > Correct from Log opens there) and the
# Convert example into the program folder itself, where the meter editor's
# Convert opens. A copy already there and newer is kept, so a sample edited in the demo survives.
#   usage: tools/copy-samples.sh APPDIR
set -e
samples=$(cd "$(dirname "$0")/../samples" && pwd)
appdir=${1:?usage: tools/copy-samples.sh APPDIR}
for group in Ford Import; do
    mkdir -p "$appdir/$group"
    cp -u "$samples"/*.maf "$samples/sample-log.csv" "$appdir/$group/"
done
cp -u "$samples/sample-convert.txt" "$samples/sample-curve.txt" "$appdir/"
