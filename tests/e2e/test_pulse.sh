#!/usr/bin/env bash
# The program on a real sound server: a private PulseAudio with a null sink,
# SDL left to pick its driver. On the instruction screen the program gives
# its stream back, the sink suspends, and program and server sleep; "Start
# game", with nothing but the program connected, wakes the sink and keeps
# its stream for the music; started again with a recorder connected, the
# start sound and the music are recorded from the sink's monitor; after
# the server is killed and started again, the music comes back by itself
# within two seconds, with no key pressed.
# Usage: test_pulse.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1280 1024
start_pulse
cd "$RUN_DIR"
./zoftrel >"$OUT/pulse-app.log" 2>&1 &
APP_PID=$!
wait_window Zoftrel >/dev/null

# ticks PID: CPU ticks used so far.
ticks() { awk '{sub(/^.*\) /, ""); print $12 + $13}' "/proc/$1/stat"; }
wait_suspended 6 "on the instruction screen"
a0=$(ticks "$APP_PID") s0=$(ticks "$PULSE_PID")
sleep 10
a1=$(ticks "$APP_PID") s1=$(ticks "$PULSE_PID")
echo "10 s on the instruction screen: program $((a1 - a0)), server $((s1 - s0)) CPU ticks"
((a1 - a0 + s1 - s0 == 0)) || fail "program and server are not asleep on the instruction screen"

# As on a desktop: the program's own stream wakes the suspended sink.
t0=$EPOCHREALTIME
click 552 742 # Start game
music_after_click "$t0"
echo "music heard on a sink that the program woke"

# Again with a recorder connected from the start, which keeps the sink
# running: the start sound comes with the click, and nothing before it.
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
wait_gone Zoftrel
./zoftrel >>"$OUT/pulse-app.log" 2>&1 &
APP_PID=$!
wait_window Zoftrel >/dev/null
RAW=$OUT/pulse-start.raw
rm -f "$RAW"
record "$RAW"
for _ in $(seq 100); do
  [[ -s $RAW ]] && break
  sleep 0.02
done
sleep 0.3
start=$(seconds_recorded)
click 552 742 # Start game
sleep 1.6
p=$(peak 0 "$start")
loud "$p" && fail "sound before Start game (peak $p)"
p=$(peak "$start" 0.4)
loud "$p" || fail "no start sound after Start game (peak $p)"
p=$(peak "$(awk -v s="$start" 'BEGIN {print s + 0.75}')" 0.8)
loud "$p" || fail "no music after Start game (peak $p)"

# The server goes away during the music and comes back a second later.
kill -9 "$PULSE_PID"
wait "$PULSE_PID" 2>/dev/null || true
wait "$REC_PID" 2>/dev/null || true
sleep 1
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended with the server"
run_pulse
back=$EPOCHREALTIME
until (($(pactl list short sink-inputs | wc -l) > 0)); do
  awk -v b="$back" -v n="$EPOCHREALTIME" 'BEGIN {exit !(n - b < 2)}' ||
    fail "the program did not come back to the server within 2 s"
  sleep 0.02
done
echo "the program played to the server again $(awk -v b="$back" -v n="$EPOCHREALTIME" \
  'BEGIN {printf "%.2f", n - b}') s after its return"
RAW=$OUT/pulse-back.raw
rm -f "$RAW"
record "$RAW"
for _ in $(seq 60); do
  awk -v s="$(seconds_recorded)" 'BEGIN {exit !(s >= 1)}' && break
  sleep 0.05
done
p=$(peak 0 "$(seconds_recorded)")
loud "$p" || { pactl list sink-inputs >&2; echo "recorded $(seconds_recorded) s" >&2; fail "no music after the server's return (peak $p)"; }
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
echo "pulse test passed"
