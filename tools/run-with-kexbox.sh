#!/usr/bin/env bash
# Starts kexbox on a pseudo-terminal with a demo EEPROM, runs varnel on it with settings of its
# own, and stops kexbox when the window closes.   usage: tools/run-with-kexbox.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
run="$build/run"
mkdir -p "$run/config"
export XDG_CONFIG_HOME="$PWD/$run/config"

# The demo box holds an identity table (entry i is the voltage of table row i), voltage output,
# pots 0 and the limit at 1023; it keeps whatever is written into it from then on.
eeprom="$run/demo-eeprom.bin"
if [ ! -f "$eeprom" ]; then
    bytes=""
    for i in $(seq 0 127); do
        if [ "$i" -le 65 ]; then
            e=$((i / 2)); w=$(( (e * 384 + 5) / 10 )); [ $w -gt 1023 ] && w=1023
            [ $((i % 2)) -eq 0 ] && b=$((w >> 8)) || b=$((w & 255))
        elif [ "$i" -eq 66 ]; then b=1
        elif [ "$i" -le 70 ]; then b=0
        elif [ "$i" -eq 72 ]; then b=3
        else b=255; fi
        bytes+=$(printf '\\x%02x' "$b")
    done
    for i in $(seq 128 255); do bytes+='\xff'; done
    printf "$bytes" > "$eeprom"
fi

out="$run/kexbox.out"
"$build/tools/kexbox/kexbox" --eeprom "$eeprom" --adjust 40,-30,60,-80 --log "$run/kexbox.log" > "$out" &
kexbox=$!
trap 'kill -TERM $kexbox 2>/dev/null || true; wait $kexbox 2>/dev/null || true; tail -n +2 "$out"' EXIT
for _ in $(seq 50); do
    [ -s "$out" ] && break
    sleep 0.1
done
device=$(head -n 1 "$out")
[ -n "$device" ] || { echo "kexbox did not start" >&2; exit 1; }
echo "kexbox serves on $device (transcript in $run/kexbox.log)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting varnel under xvfb-run"
    xvfb-run -a "$build/src/varnel" --port "$device"
else
    "$build/src/varnel" --port "$device"
fi
