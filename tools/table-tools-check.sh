#!/usr/bin/env bash
# The table tools driven by real keys and the X clipboard in the real window: entries 10 to 20
# selected with Shift+Down, Edit > Table > Scale by 5 %, Ctrl+Z, Ctrl+Shift+Z, Ctrl+Z and Ctrl+Y,
# three values pasted with Ctrl+V from the X clipboard, keypad + and Shift++, Ctrl+C read back.
# A screenshot after each step. Needs xvfb-run, xdotool, xclip and ImageMagick's import.
#   usage: tools/table-tools-check.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$(realpath "${1:-build}")
out=$(realpath -m "${2:-/tmp/varnel-table-tools}")
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill -TERM $kexbox 2>/dev/null || true; wait $kexbox 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

"$build/tools/kexbox/kexbox" --eeprom "$work/box.bin" > "$work/kexbox.out" &
kexbox=$!
for _ in $(seq 50); do [ -s "$work/kexbox.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/kexbox.out")

cat > "$work/drive.sh" <<DRIVE
set -e
"$build/src/varnel" --port "$device" &
app=\$!
sleep 3
focus() { xdotool search --sync --name "\$1" | tail -n 1 | xargs xdotool windowfocus --sync; }
shot() { sleep 0.5; import -window root "$out/\$1.png"; }
focus "Varnel, V1.1"; xdotool key alt+f n; sleep 1
focus "Project Setup"; xdotool key Return; sleep 2
focus "Varnel, V1.1"
eval \$(xdotool search --name "Varnel, V1.1" getwindowgeometry --shell | head -n 6)
# The output cell of row r (entry r while the grid is not scrolled): 129 + 16 r below the top.
xdotool mousemove \$((X + 75)) \$((Y + 129 + 16 * 10)) click 1
for i in \$(seq 10); do xdotool key shift+Down; done
shot 1-selected
xdotool key alt+e; sleep 0.3; xdotool key t; sleep 0.3; xdotool key c
shot 2-scale-dialog
focus "^Scale\$"; xdotool type 5; xdotool key Return
focus "Varnel, V1.1"; shot 3-scaled
xdotool key ctrl+z; shot 4-undone
xdotool key ctrl+shift+z; shot 5-redone
xdotool key ctrl+z ctrl+y; shot 6-redone-ctrl-y
printf '2.000\n2.250\n2.500\n' | xclip -selection clipboard
# The grid has scrolled down to entry 20: its top row is entry 4 now.
xdotool mousemove \$((X + 75)) \$((Y + 129 + 16 * 2)) click 1
xdotool key ctrl+v; shot 7-pasted
xdotool mousemove \$((X + 75)) \$((Y + 129)) click 1; xdotool key shift+Down
xdotool key KP_Add KP_Add shift+KP_Add
xdotool key alt+e; shot 8-plus-edit-menu
xdotool key Escape ctrl+c; sleep 0.3
xclip -selection clipboard -o > "$out/copied.txt"
kill \$app
DRIVE
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/drive.sh"
echo "screenshots and copied.txt in $out"
