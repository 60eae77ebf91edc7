#!/usr/bin/env bash
# The program's cost and latency on a real sound server: a private
# PulseAudio with a null sink (as tests/e2e/test_pulse.sh starts it), SDL
# left to pick its driver. Prints
#  - CPU of program and server over 10 s on the instruction screen;
#  - CPU of a game with music (tanks turning, a shot about every 1.3 s):
#    the program, its SDL audio thread, the server, and the sum;
#  - the first sound after a silence: from the click on "Start game" to
#    the start sound, with the program's stream given back before;
#  - the shot's latency: from the key to the shot sound, over several shots.
# Latencies are read from a recording of the sink's monitor. A silent
# stream keeps the sink running meanwhile, so that the recording keeps
# time, and the recording's position is tied to the clock by sampling its
# size every few milliseconds. They are measured with a silent tune in
# place of the music, so that only the sound measured is heard.
# SOUND_SERVER=pipewire runs the same on a private PipeWire with its
# PulseAudio layer and WirePlumber (their CPU together is the server's);
# SDL_DRIVER=NAME has the program use SDL's driver NAME instead of its own
# output (pulseaudio, pipewire).
# Usage: bench/real_sound.sh [RUN_DIR] [SECONDS]   (default: build/bin, 20)
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=$(realpath "${1:-$(dirname "$0")/../build/bin}")
DURATION=${2:-20}
start_x 1280 1024
if [[ ${SOUND_SERVER:-pulseaudio} == pipewire ]]; then
  start_pipewire
else
  start_pulse
fi
WORK=$PULSE_DIR/work
mkdir -p "$WORK"

ticks() { awk '{sub(/^.*\) /, ""); print $12 + $13}' "$1/stat"; }
# The server's CPU ticks so far: every process of it.
server_ticks() {
  local pid n=0
  for pid in "${SERVER_PIDS[@]}"; do n=$((n + $(ticks "/proc/$pid"))); done
  echo "$n"
}
hz=$(getconf CLK_TCK)
percent() { awk -v t="$1" -v s="$2" -v hz="$hz" 'BEGIN {printf "%.2f", 100 * t / hz / s}'; }

# run_game DIR: the program started in DIR (where its tune lies).
run_game() {
  (
    cd "$1"
    [[ -n ${SDL_DRIVER:-} ]] && export SDL_AUDIODRIVER=$SDL_DRIVER
    exec "$RUN_DIR/zoftrel" >/dev/null 2>&1
  ) &
  APP_PID=$!
  WIN=$(wait_window Zoftrel)
  sleep 0.3
}
stop_game() {
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=
  wait_gone Zoftrel
}
# wakeups TASK_DIR...: the times the threads went to sleep and woke, so far.
wakeups() {
  cat $(printf '%s/status ' $1) | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n + 0}'
}
# The audio thread: SDL's, PipeWire's, or libpulse's of the program's own
# output.
audio_task() {
  local t
  for t in /proc/$APP_PID/task/*; do
    case $(cat "$t/comm") in
    SDLAudioP* | threaded-ml | data-loop*) echo "$t" && return 0 ;;
    esac
  done
  return 0
}

# --- idle on the instruction screen ---
run_game "$RUN_DIR"
sleep 3
a0=$(ticks /proc/$APP_PID) s0=$(server_ticks)
sleep 10
a1=$(ticks /proc/$APP_PID) s1=$(server_ticks)
echo "instruction screen, 10 s: program $(percent $((a1 - a0)) 10) %, server $(percent $((s1 - s0)) 10) %," \
  "together $(percent $((a1 - a0 + s1 - s0)) 10) % of one core (sink $(sink_state))"

# --- a game with music ---
START=(552 742)
xdotool windowfocus --sync "$WIN"
xdotool key Num_Lock
click "${START[@]}"
sleep 0.5
xdotool windowfocus --sync "$WIN"
xdotool keydown f keydown KP_6
AUDIO=$(audio_task)
p0=$(ticks /proc/$APP_PID) s0=$(server_ticks) t0=$EPOCHREALTIME
[[ -n $AUDIO ]] && u0=$(ticks "$AUDIO") || u0=0
[[ -n $AUDIO ]] && w0=$(wakeups "$AUDIO") || w0=0
v0=$(wakeups "$(printf '/proc/%s/task/* ' "${SERVER_PIDS[@]}")")
end=$((SECONDS + DURATION))
while ((SECONDS < end)); do
  xdotool key e key KP_8
  sleep 1.3
done
p1=$(ticks /proc/$APP_PID) s1=$(server_ticks) t1=$EPOCHREALTIME
[[ -n $AUDIO ]] && u1=$(ticks "$AUDIO") || u1=0
[[ -n $AUDIO ]] && w1=$(wakeups "$AUDIO") || w1=0
v1=$(wakeups "$(printf '/proc/%s/task/* ' "${SERVER_PIDS[@]}")")
xdotool keyup f keyup KP_6
# The figures count only if the game was heard: the program's stream is
# still there, and a recording taken now, after the measured stretch,
# holds sound.
streams=$(pactl list short sink-inputs | wc -l)
RAW=$WORK/playing.raw
record "$RAW"
sleep 2
kill "$REC_PID" 2>/dev/null || true
wait "$REC_PID" 2>/dev/null || true
REC_PID=
heard=$(peak 0.5 1)
secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')
echo "a game with music, $(printf %.0f "$secs") s: program $(percent $((p1 - p0)) "$secs") %" \
  "(audio thread $(percent $((u1 - u0)) "$secs") %), server $(percent $((s1 - s0)) "$secs") %," \
  "together $(percent $((p1 - p0 + s1 - s0)) "$secs") % of one core;" \
  "$((streams)) stream(s) of the program at its end, then a peak of $heard"
echo "  wake-ups a second: audio thread $(awk -v w=$((w1 - w0)) -v s="$secs" 'BEGIN {printf "%.0f", w / s}')," \
  "server $(awk -v w=$((v1 - v0)) -v s="$secs" 'BEGIN {printf "%.0f", w / s}')"
loud "$heard" && ((streams == 1)) || echo "WARNING: the game was not heard: these figures are not a playing game's"
stop_game

# --- latencies, with a silent tune ---
# A tune of one minute's rest: 96 ticks a quarter at 120 a minute, the end
# of the track 11,520 ticks in.
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\5\332\0\377\57\0' >"$WORK/BackgroundMusic.mid"
RAW=$WORK/latency.raw
pacat --playback --latency-msec=10 --format=s16le --rate=$RATE --channels=2 </dev/zero &
SILENT_PID=$!
record "$RAW"
# The size first, then the time: a late sample only loosens the bound.
(while kill -0 "$REC_PID" 2>/dev/null; do
  bytes=$(stat -c %s "$RAW" 2>/dev/null || echo 0)
  echo "$EPOCHREALTIME $bytes"
  sleep 0.004
done) >"$WORK/clock" &
CLOCK_PID=$!
run_game "$WORK"
sleep 2.5 # the stream is given back after 1.5 s of silence
given_back=$(pactl list short sink-inputs | wc -l)
xdotool windowfocus --sync "$WIN"
xdotool key Num_Lock
xdotool mousemove "${START[@]}"
sleep 0.2
keys=()
keys+=("$EPOCHREALTIME")
xdotool click 1 # Start game
sleep 1.5
xdotool windowfocus --sync "$WIN"
for shot in $(seq 10); do
  k=e
  ((shot % 2 == 0)) && k=KP_8
  keys+=("$EPOCHREALTIME")
  xdotool key $k
  sleep 1.4
done
kill "$CLOCK_PID" "$SILENT_PID" 2>/dev/null || true
stop_pulse_parts
stop_game

# The clock offset: a byte count seen at time t was recorded by then.
offset=$(awk -v f=$FRAME -v r=$RATE '$2 > 0 {c = $1 - $2 / f / r; if (!n++ || c < m) m = c}
  END {printf "%.6f", m}' "$WORK/clock")
# onset SECONDS: the first loud sample at or after that recording position.
sox -t raw -r $RATE -e floating-point -b 32 -c 2 "$RAW" -t dat "$WORK/latency.dat" 2>/dev/null
onset() {
  awk -v from="$1" '!/^;/ && $1 >= from {
    if ($2 > 0.01 || $2 < -0.01 || $3 > 0.01 || $3 < -0.01) {print $1; exit}}' "$WORK/latency.dat"
}
delay() {
  local at
  at=$(awk -v k="$1" -v o="$offset" 'BEGIN {printf "%.4f", k - o}')
  local heard
  heard=$(onset "$at")
  [[ -n $heard ]] || { echo "none"; return; }
  awk -v h="$heard" -v a="$at" 'BEGIN {printf "%.0f", 1000 * (h - a)}'
}
first=$(delay "${keys[0]}")
echo "first sound after a silence (stream given back: $([[ $given_back == 1 ]] && echo yes || echo no)): ${first} ms from the click"
shots=()
for k in "${keys[@]:1}"; do shots+=("$(delay "$k")"); done
echo "shot sound after the key: ${shots[*]} ms"
printf '%s\n' "${shots[@]}" | grep -v none | sort -n |
  awk '{v[n++] = $1; s += $1} END {if (n) printf "  median %d ms, mean %.0f ms, largest %d ms\n", v[int(n / 2)], s / n, v[n - 1]}'
