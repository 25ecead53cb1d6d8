#!/usr/bin/env bash
# The chart as an editor and the comparison driven by the real pointer and keys in the real
# window: a project opened by its path on the command line (after the link opened), the pointer
# resting on point 13 of the table curve (its tooltip), the point pressed, pulled down and let go
# (the Edit menu then names the step), Esc during a second drag, then File > Compare With ... a
# second project typed into the file dialog. A screenshot after each step. Needs xvfb-run,
# xdotool and ImageMagick (import, convert).
#   usage: tools/chart-check.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-/tmp/varnel-chart-check}")
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill -TERM $kexbox 2>/dev/null || true; wait $kexbox 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

cli="$build/src/varnel-cli"
"$cli" new "$work/a.KEX" --name A > /dev/null
"$cli" new "$work/b.KEX" --name B > /dev/null
"$cli" set "$work/b.KEX" --scale 8-20=-10 > /dev/null

"$build/tools/kexbox/kexbox" --eeprom "$work/box.bin" > "$work/kexbox.out" &
kexbox=$!
for _ in $(seq 50); do [ -s "$work/kexbox.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/kexbox.out")

# Prints "X Y" of point ENTRY of the blue table curve in a screenshot of the window at WX, WY:
# the curve runs from entry 0 at its leftmost blue pixel to entry 31 at its rightmost.
cat > "$work/point.py" <<'PY'
import subprocess, sys
shot, wx, wy, entry = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
ppm = subprocess.run(["convert", shot, "ppm:-"], capture_output=True, check=True).stdout
parts = ppm.split(maxsplit=4)
w, h, pixels = int(parts[1]), int(parts[2]), parts[4]
def blue(x, y):
    r, g, b = pixels[3 * (y * w + x):3 * (y * w + x) + 3]
    return b > 150 and b - r > 80 and b - g > 80
rows = range(wy + 150, min(h, wy + 440))
cols = [x for x in range(wx + 140, min(w, wx + 600)) if any(blue(x, y) for y in rows)]
x = round(cols[0] + (cols[-1] - cols[0]) * entry / 31)
ys = [y for y in rows if any(blue(x + dx, y) for dx in (-1, 0, 1))]
print(x, ys[len(ys) // 2])
PY

cat > "$work/drive.sh" <<DRIVE
set -e
"$build/src/varnel" --port "$device" "$work/a.KEX" &
app=\$!
sleep 3
focus() { xdotool search --sync --name "\$1" | tail -n 1 | xargs xdotool windowfocus --sync; }
shot() { sleep 0.5; import -window root "$out/\$1.png"; }
shot 0-opened-by-path
focus "^Information\$"; xdotool key Return; sleep 0.5
focus "Varnel, V1.1"
eval \$(xdotool search --name "Varnel, V1.1" getwindowgeometry --shell | head -n 6)
shot 1-loaded
read px py < <(python3 "$work/point.py" "$out/1-loaded.png" \$X \$Y 13)
xdotool mousemove \$((px + 2)) \$((py - 2)); sleep 1.5; shot 2-hover
xdotool mousedown 1
for d in 10 20 30 40; do xdotool mousemove \$px \$((py + d)); sleep 0.1; done
shot 3-dragging
xdotool mouseup 1; sleep 0.3
xdotool key alt+e; shot 4-edit-menu-after-drag
xdotool key Escape; sleep 0.3
read px py < <(python3 "$work/point.py" "$out/1-loaded.png" \$X \$Y 20)
xdotool mousemove \$px \$py mousedown 1
for d in 10 20 30; do xdotool mousemove \$px \$((py - d)); sleep 0.1; done
shot 5-second-drag
xdotool key Escape; sleep 0.3; xdotool mouseup 1; shot 6-after-escape
xdotool key alt+f; sleep 0.3; xdotool key w; sleep 1
focus "Open|Compare"; xdotool type "$work/b.KEX"; xdotool key Return; sleep 1
focus "Varnel, V1.1"; shot 7-compared
xdotool key alt+f; shot 8-file-menu
xdotool key Escape
kill \$app
DRIVE
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/drive.sh"
echo "screenshots in $out"
