#!/usr/bin/env bash
# The program on a private PipeWire with its PulseAudio layer and
# WirePlumber, as desktops have it: on the instruction screen the program
# gives its stream back and WirePlumber suspends the sink; "Start game",
# with nothing but the program connected, wakes it, and the program's
# stream stays for the music.
# Usage: test_pipewire.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1280 1024
start_pipewire
cd "$RUN_DIR"
./zoftrel >"$OUT/pipewire-app.log" 2>&1 &
APP_PID=$!
wait_window Zoftrel >/dev/null
wait_suspended 15 "on the instruction screen"
t0=$EPOCHREALTIME
click 552 742 # Start game
music_after_click "$t0"
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
echo "pipewire test passed"
