#!/usr/bin/env bash
# The real program closed while a Connect waits: File > New and OK start a Connect against
# kexbox --fault no-reply, and File > Exit follows within its one-second wait. Prints the time
# from the Exit key to the end of the process, under a virtual X server of its own, with
# xdotool's keys; fails when a run has not closed as the window closes (settings written, exit
# code 0) within LIMIT_MS.   usage: close_timing.sh BUILD_DIR [RUNS] [LIMIT_MS]
set -euo pipefail
build=$(realpath "$1") runs=${2:-1} limit=${3:-700}
[ -n "${CLOSE_TIMING_X:-}" ] || CLOSE_TIMING_X=1 exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
work=$(mktemp -d) app= kexbox=
trap 'kill -9 $app $kexbox 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data HOME=$work QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime && mkdir -m 700 "$XDG_RUNTIME_DIR"
"$build/tools/kexbox/kexbox" --fault no-reply > "$work/kexbox.out" &
kexbox=$!
for _ in $(seq 50); do [ -s "$work/kexbox.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/kexbox.out")
now() { echo $(( $(date +%s%N) / 1000000 )); }
# No window manager: each window gets the focus once it is on the screen, and keys go through
# XTEST to the focused window (a key sent to a window would be synthetic).
find_window() { timeout 10 xdotool search --sync --onlyvisible --name "$1" | tail -n 1; }
focus() {
    for _ in $(seq 40); do xdotool windowfocus --sync "$1" 2>/dev/null && return; sleep 0.05; done
    return 1
}
status=0
for run in $(seq "$runs"); do
    rm -f "$work/config/varnel/kex.ini"
    "$build/src/varnel" --port "$device" &
    app=$!
    main=$(find_window '^Varnel, V1\.1')
    focus "$main" && xdotool key alt+f n
    focus "$(find_window '^Project Setup$')" && xdotool key Return
    connect=$(now)
    focus "$main" && xdotool key alt+f
    exit=$(now)
    xdotool key x
    { sleep 3; kill -9 $app; } 2>/dev/null &
    code=0
    wait $app || code=$?
    ended=$(now) app=
    kill $! 2>/dev/null || true
    echo "run $run: File > Exit $((exit - connect)) ms into the Connect;" \
         "the process ended $((ended - exit)) ms after it (exit code $code)"
    if [ $code -ne 0 ] || [ $((ended - exit)) -ge "$limit" ] || [ $((exit - connect)) -ge 900 ] ||
       [ ! -f "$work/config/varnel/kex.ini" ]; then
        echo "run $run: not closed within $limit ms as the window closes" >&2
        status=1
    fi
done
exit $status
