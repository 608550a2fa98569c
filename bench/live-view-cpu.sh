#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The processor time the live view takes in the real window: starts the program from BUILD (a
# build tree, build-test unless given) under its own Xvfb on the simulated converter, or on the
# simulated board where the build has it and "board" is asked, presses 実時間計測 at each period
# and reads the program's and the X server's processor time over SECONDS.
#   bench/live-view-cpu.sh [BUILD] [converter|board] [SECONDS]
set -eu
build=${1:-build-test}
source=${2:-converter}
seconds=${3:-10}
program="$build/src/app/undou-kaiseki"
work=$(mktemp -d)
display=:$((70 + $$ % 20))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
board_sim=""
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "$board_sim" ] && kill "$board_sim" 2>/dev/null || true
    kill "$xserver" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
sleep 1
export DISPLAY="$display"
if [ "$source" = board ]; then
    "$build/tests/board_sim/undou-board-sim" --elf "$build/firmware/undou-kaiseki-board.elf" \
        --link "$work/board" >/dev/null 2>&1 &
    board_sim=$!
    sleep 1
    set -- --board "$work/board"
else
    set -- --simulate
fi
"$program" "$@" --data-dir "$work/data" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --name "ケルノア" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
for period in 1 10; do
    # The period into Text1 (confirmed with Enter), then 実時間計測; 中止 afterwards.
    xdotool mousemove --window "$window" 48 329 click --repeat 3 1 key ctrl+a type "$period"
    xdotool key Return
    sleep 0.3
    xdotool mousemove --window "$window" 56 200 click 1
    sleep 2
    p0=$(ticks "$app"); x0=$(ticks "$xserver"); t0=$(date +%s.%N)
    sleep "$seconds"
    p1=$(ticks "$app"); x1=$(ticks "$xserver"); t1=$(date +%s.%N)
    python3 -c "s = $t1 - $t0; print('$source, $period ms: program %.1f %% of a core, X server %.1f %%' % (100 * ($p1 - $p0) / $hz / s, 100 * ($x1 - $x0) / $hz / s))"
    xdotool mousemove --window "$window" 56 232 click 1
    sleep 1
done
