#!/usr/bin/env bash
# Makes the PNGs of docs/: runs the walkthrough program (tools/screenshots) under Xvfb against
# kexbox, in a scratch program folder holding the samples. Needs xvfb-run (Debian: xvfb xauth).
#   usage: tools/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$(mkdir -p "${2:-$root/docs}" && cd "${2:-$root/docs}" && pwd)
cmake --build "$build" --target varnel-screenshots kexbox -j 2 > /dev/null

work=$(mktemp -d)
kexbox=""
cleanup() {
    [ -n "$kexbox" ] && kill -TERM "$kexbox" 2> /dev/null && wait "$kexbox" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
"$root/tools/copy-samples.sh" "$work/app"

# The box the walkthrough connects to: the demo's pot adjustments, an EEPROM of its own.
"$build/tools/kexbox/kexbox" --eeprom "$work/eeprom.bin" --adjust 40,-30,60,-80 > "$work/kexbox.out" &
kexbox=$!
for _ in $(seq 50); do [ -s "$work/kexbox.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/kexbox.out")
[ -n "$device" ] || { echo "kexbox did not start" >&2; exit 1; }

# A screen larger than every window, so none is cut.
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tools/screenshots/varnel-screenshots" --port "$device" --appdir "$work/app" --out "$out"
