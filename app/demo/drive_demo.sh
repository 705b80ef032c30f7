#!/usr/bin/env bash
# Times the demo song through scripts/run the way a person would, under Xvfb with
# xdotool: the demo opens with its lyrics, F2 goes on every line while it plays, a
# title is typed, the LRC is saved (its message boxes answered) and test mode plays
# it back. Silent output, so no sound device is needed. Screenshots (xwd) go to OUT.
#   app/demo/drive_demo.sh [OUT]      OUT defaults to build/demo-run
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-build/demo-run}")
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$out"
fi
mkdir -p "$out"
export QERIMOLRC_AUDIO=null

shot() { xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/$1.png"; echo "screenshot $out/$1.png"; }

scripts/run &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

win=$(xdotool search --sync --onlyvisible --name "QerimoLRC" | head -1)
t0=$(date +%s.%N)  # the demo starts playing as the window comes up
# Keys go through XTEST to the focused window (Qt ignores events sent to a window).
xdotool windowfocus "$win" 2>/dev/null || true  # without a window manager the pointer decides
click() { xdotool mousemove --window "$win" "$1" "$2" click "${3:-1}"; }
sleep 0.5

# Into the edit box, caret on the first line.
click 400 400
xdotool key ctrl+Home
# The demo's lines start about every 4.4 s after a 1.2 s lead.
for line in 0 1 2 3 4 5; do
    at=$(echo "1.2 + $line * 4.4" | bc)
    now=$(echo "$(date +%s.%N) - $t0" | bc)
    wait_for=$(echo "$at - $now" | bc)
    if [ "$(echo "$wait_for > 0" | bc)" = 1 ]; then sleep "$wait_for"; fi
    xdotool key F2
done
sleep 0.5
shot timing

# Title, then save: the overwrite question (a run before) and the success message
# are answered with Return.
click 760 187
xdotool type "Demo"
click 927 187
sleep 1
xdotool key Return
sleep 0.5
xdotool key Return 2>/dev/null || true
sleep 0.5
lrc=build/release/app/demo/demo.lrc
echo "saved: $lrc"
cat "$lrc"

# Test mode: btnTest in the toolbar; the song plays again from the start.
click 84 14
sleep 7
shot test_mode
click 321 14  # btnClose: the text is saved, so nothing is asked
wait "$pid" || true
trap - EXIT
