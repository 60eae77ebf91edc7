#!/usr/bin/env bash
# The sound that reaches the device, through SDL's "disk" driver: silence on
# the instruction screen, the start sound as soon as "Start game" is
# pressed, and the music within a second.
# Usage: test_audio.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"
RAW=$OUT/output.raw
rm -f "$RAW"

start_x 1280 1024
cd "$RUN_DIR"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$RAW ./zoftrel &
APP_PID=$!
wait_window Zoftrel >/dev/null
sleep 1.2
start=$(seconds_recorded)
p=$(peak 0 "$start")
loud "$p" && fail "sound on the instruction screen (peak $p)"

click 552 742 # Start game
sleep 1.6
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=

# Allow for the device's own buffering around the click.
p=$(peak "$start" 0.4)
loud "$p" || fail "no start sound after Start game (peak $p)"
music_from=$(awk -v s="$start" 'BEGIN {printf "%.3f", s + 0.75}')
p=$(peak "$music_from" 0.5)
loud "$p" || fail "no music within a second of Start game (peak $p)"
echo "audio test passed"
