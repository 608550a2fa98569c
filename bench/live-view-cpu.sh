#!/bin/sh
# SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The processor time the live view takes in the real window: starts the program from BUILD (a
# build tree, build-test unless given) under its own Xvfb on the simulated converter, or on the
# simulated board where the build has it and "board" is asked, presses 実時間計測 at each period
# and reads the program's and the X server's processor time over SECONDS. With "measure", presses
# 計測 for 10 s at 1 ms on the simulated converter instead, and reads the window's thread and the
# sampling thread apart (a build without a sampling thread takes its readings on the window's).
#   bench/live-view-cpu.sh [BUILD] [converter|board|measure] [SECONDS]
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
if [ "$source" = measure ]; then
    # 1 ms into Text1 and 10 s into Text2, each confirmed with Enter, then 計測.
    xdotool mousemove --window "$window" 48 329 click --repeat 3 1 key ctrl+a type 1
    xdotool key Return
    xdotool mousemove --window "$window" 48 417 click --repeat 3 1 key ctrl+a type 10
    xdotool key Return
    sleep 0.5
    xdotool mousemove --window "$window" 56 56 click 1
    sleep 1
    sampling=$(grep -l '^sampling$' /proc/"$app"/task/*/comm 2>/dev/null | head -n 1 | xargs -r dirname)
    thread_ticks() { if [ -n "$sampling" ]; then awk '{print $14 + $15}' "$sampling/stat"; else echo 0; fi; }
    w0=$(ticks "$app/task/$app"); s0=$(thread_ticks); x0=$(ticks "$xserver"); t0=$(date +%s.%N)
    sleep "$(( seconds < 8 ? seconds : 8 ))"
    w1=$(ticks "$app/task/$app"); s1=$(thread_ticks); x1=$(ticks "$xserver"); t1=$(date +%s.%N)
    python3 -c "s = $t1 - $t0; print('計測 at 1 ms: the window\'s thread %.1f %% of a core, the sampling thread %.1f %%, X server %.1f %%' % (100 * ($w1 - $w0) / $hz / s, 100 * ($s1 - $s0) / $hz / s, 100 * ($x1 - $x0) / $hz / s))"
    exit 0
fi
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
