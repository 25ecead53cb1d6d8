#!/bin/sh
# Makes the sample meter files from their texts with the editor's Convert and Save, as
# "varnel-cli meter import" runs them, and the sample datalog from the sample meters.
#   usage: samples/regenerate.sh [BUILD_DIR] [OUT_DIR]   (OUT_DIR: samples/ itself by default)
# sample-convert.txt stays a text: it is the example for the meter editor's Convert button.
# sample-curve.txt is the example for "meter fit" and Fit Curve: a made-up published-style curve.
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
out=${2:-$here}
cli=$build/src/varnel-cli
datalog=$build/tools/datalog/make-datalog
[ -x "$cli" ] && [ -x "$datalog" ] || { echo "no $cli or $datalog: build first (cmake --build $build)" >&2; exit 1; }
for name in sample-v1 sample-v2 sample-f1; do
    "$cli" meter import "$here/$name.txt" "$out/$name.maf"
done

# sample-curve.txt: a smooth made-up curve in g/s, 317 points 0.015 V apart, no flow up to
# 0.55 V and flat from 4.90 V on, as many data sheets end; not any real meter's.
awk 'BEGIN {
    printf "# Made-up MAF curve for the Varnel meter fit example; not a real meter.\r\n"
    printf "volts, g/s\r\n"
    for (k = 0; k <= 316; k++) {
        v = 0.25 + k * 0.015
        x = (v < 4.9 ? v : 4.9) - 0.55
        f = x <= 0 ? 0 : 1.2 * x + 4.5 * x * x + 1.0 * x * x * x
        printf "%.3f, %.2f\r\n", v, f
    }
}' > "$out/sample-curve.txt"

# sample-log.csv: a drive logged through the model engine of tools/datalog, not a real one. The
# box holds the table of matching SAMPLE-V1 (the meter fitted) to SAMPLE-V2 (the meter the
# engine computer expects), but the air really flowing is 6 % (at 1.0 V) to 2 % (at 4.6 V) more
# than SAMPLE-V1's file says. The first tenth of the rows is the warm-up, without trims; above
# 3.75 V in the engine runs in open loop, commanding 12.5 AFR, and only the wideband ("AFR")
# shows the flow's error there.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$cli" new "$tmp/demo.KEX" > /dev/null
"$cli" match "$out/sample-v1.maf" "$out/sample-v2.maf" --into "$tmp/demo.KEX" > /dev/null
"$datalog" "$tmp/demo.KEX" "$out/sample-v1.maf" "$out/sample-v2.maf" --error 6:2 \
    --inputs 1.0:4.6 --rows 3000 --seed 1 --noise 1 --dropout-every 400 \
    --wideband --open-loop-above 3.75 \
    --note "Synthetic: made by Varnel's samples/regenerate.sh; no real engine" > "$out/sample-log.csv"
