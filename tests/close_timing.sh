#!/usr/bin/env bash
# The real program closed while a Connect waits for a box that does not answer: File > New and OK
# start the Connect against kexbox --fault no-reply, then File > Exit comes within the Connect's
# one-second wait. Measures the time from the Exit key to the end of the process, under a
# virtual X server of its own (xvfb-run) with xdotool's key presses.
#   usage: close_timing.sh BUILD_DIR [RUNS] [LIMIT_MS]
# Prints each run's time; fails when a run has not ended within LIMIT_MS (default 700) or did
# not close as the window closes (settings written, exit code 0).
set -euo pipefail
build=$(realpath "$1")
runs=${2:-1}
limit=${3:-700}
if [ -z "${CLOSE_TIMING_DISPLAY:-}" ]; then
    CLOSE_TIMING_DISPLAY=1 exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi

work=$(mktemp -d)
app=
kexbox=
trap '[ -n "$app" ] && kill -9 $app 2>/dev/null; [ -n "$kexbox" ] && kill $kexbox 2>/dev/null;
      wait 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data HOME=$work QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$work/runtime"

"$build/tools/kexbox/kexbox" --fault no-reply > "$work/kexbox.out" &
kexbox=$!
for _ in $(seq 50); do [ -s "$work/kexbox.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$work/kexbox.out")
[ -n "$device" ] || { echo "kexbox did not start" >&2; exit 1; }

# Without a window manager nothing takes the focus by itself: give it to each window in turn,
# once it is on the screen.
find_window() { timeout 10 xdotool search --sync --onlyvisible --name "$1" | tail -n 1; }
focus() {
    for _ in $(seq 40); do
        xdotool windowfocus --sync "$1" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "cannot focus window $1" >&2
    return 1
}

status=0
for run in $(seq "$runs"); do
    rm -f "$work/config/varnel/kex.ini"
    "$build/src/varnel" --port "$device" &
    app=$!
    main=$(find_window '^Varnel, V1\.1')
    # Keys go through XTEST to the focused window (a key sent to a window would be synthetic).
    focus "$main"
    xdotool key alt+f n
    focus "$(find_window '^Project Setup$')"
    xdotool key Return
    ok=$(date +%s%N)
    # The Connect now waits up to a second for the prompt that never comes.
    focus "$main"
    xdotool key alt+f
    start=$(date +%s%N)
    xdotool key x
    { sleep 3; kill -9 $app; } 2>/dev/null &
    watchdog=$!
    code=0
    wait $app || code=$?
    end=$(date +%s%N)
    app=
    kill $watchdog 2>/dev/null || true
    wait $watchdog 2>/dev/null || true
    ms=$(( (end - start) / 1000000 ))
    into=$(( (start - ok) / 1000000 ))
    echo "run $run: File > Exit $into ms into the Connect; the process ended $ms ms after it" \
         "(exit code $code)"
    if [ $code -ne 0 ] || [ $ms -ge "$limit" ] || [ $into -ge 900 ] ||
       [ ! -f "$work/config/varnel/kex.ini" ]; then
        echo "run $run: not closed within $limit ms as the window closes" >&2
        status=1
    fi
done
exit $status
