#!/usr/bin/env bash
# The music after a game over, on a desktop's sound server: a private
# PulseAudio with a null sink that suspends when idle, nothing but the
# program connected. The computer plays both sides to a game over; once
# the applause has ended the program gives its stream back and the sink
# suspends; New game and Start game then wake it, and the program's stream
# stays for the music.
# Usage: test_pulse_gameover.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1280 1024
start_pulse
cd "$RUN_DIR"
./zoftrel --red=hard --blue=hard >"$OUT/pulse-gameover-app.log" 2>&1 &
APP_PID=$!
wait_window Zoftrel >/dev/null
sleep 0.5

# The sink suspends within 14 s: the applause lasts 7.3 s, the stream is
# given back 1.5 s after it, and the sink suspends 1 s later.
SUSPEND_SECONDS=14

click "${START[@]}" # Start game
started=$SECONDS
wait_over pulse-game
wait_suspended $SUSPEND_SECONDS "after the game over"
click "${START[@]}" # New game
sleep 0.5
shot pulse-ready
button_shown "$OUT/pulse-ready.png" || fail "New game hid the button"
wait_suspended $SUSPEND_SECONDS "before the next game"
t0=$EPOCHREALTIME
click "${START[@]}" # Start game
music_after_click "$t0"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
echo "pulse game-over test passed"
