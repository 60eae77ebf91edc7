#!/usr/bin/env bash
# Start-up time, idle CPU and resident memory of the real program under
# Xvfb. Start-up is measured from process start to the main window being
# mapped: one warm-up run, then the median of five.
# Then the CPU the first three seconds take (start-up and the music's
# recording), and the CPU of a game that has just started (timer running, music
# playing, no key pressed) over ten seconds.
# Usage: bench/startup.sh [RUN_DIR]   (default: build/bin)
# PEER="/usr/games/ksnakeduel KSnakeDuel" also starts that program (the
# window name after the command), in turn with Zoftrel and on a D-Bus
# session of its own, and gives its time to the mapped window and its peak
# memory beside Zoftrel's.
# The music takes the soundfont the game's package installs when it is
# there; ZOFTREL_SOUNDFONT=FILE points it at another one, for instance the
# large default bank of a machine that lacks the game's own.
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=${1:-$(dirname "$0")/../build/bin}
cd "$RUN_DIR"
start_x 1280 1024
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Sets RUN_MS and APP_PID.
one_run() {
  local t0
  t0=$(now_ms)
  ./zoftrel >/dev/null 2>&1 &
  APP_PID=$!
  until xdotool search --onlyvisible --name '^Zoftrel$' >/dev/null 2>&1; do
    sleep 0.002
  done
  RUN_MS=$(($(now_ms) - t0))
}

# Some windows xdotool does not take for visible: ask for the map state.
peer_mapped() {
  local w
  for w in $(xwininfo -root -tree 2>/dev/null | awk -v n="\"${PEER##* }\":" '$2 == n {print $1}'); do
    xwininfo -id "$w" 2>/dev/null | grep -q IsViewable && return 0
  done
  return 1
}

# The peer: its time to the mapped window and its peak memory (MB) in
# PEER_MS and PEER_MB.
peer_run() {
  local t0 pid session
  t0=$(now_ms)
  dbus-run-session -- ${PEER% *} >/dev/null 2>&1 &
  session=$!
  until peer_mapped; do
    sleep 0.002
  done
  PEER_MS=$(($(now_ms) - t0))
  pid=$(pgrep -n -f "^${PEER% *}")
  sleep 1
  PEER_MB=$(awk '/VmHWM/ {printf "%.1f", $2 / 1024}' "/proc/$pid/status")
  kill "$pid"
  wait "$session" 2>/dev/null || true
}

median_of() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

echo "soundfont: ${ZOFTREL_SOUNDFONT:-default choice (TimGM6mb when installed)}"

times=()
peer_times=()
peer_mb=()
RUNS=${RUNS:-5}
for ((i = 0; i <= RUNS; i++)); do
  if [[ -n ${PEER:-} ]]; then
    peer_run
    if ((i > 0)); then peer_times+=("$PEER_MS") peer_mb+=("$PEER_MB"); fi
  fi
  one_run
  if ((i > 0)); then times+=("$RUN_MS"); fi
  if ((i < RUNS)); then
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
  fi
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
echo "start-up to window mapped (ms): $sorted-> median $(median_of "${times[@]}")"
if [[ -n ${PEER:-} ]]; then
  sorted=$(printf '%s\n' "${peer_times[@]}" | sort -n | tr '\n' ' ')
  echo "${PEER##* }: start-up to window mapped (ms): $sorted-> median $(median_of "${peer_times[@]}"), peak memory $(median_of "${peer_mb[@]}") MB"
fi

ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }
hz=$(getconf CLK_TCK)
# The first six seconds hold the start-up and, where the tune was not
# recorded at build time, its recording, which a thread of its own renders
# once, in the background, as soon as the tune is opened.
sleep 6
awk -v t="$(ticks)" -v hz="$hz" 'BEGIN {printf "CPU in the first 6 s (start-up, the music recorded): %.2f s\n", t / hz}'
music=$(grep -l '^zoftrel-music$' /proc/"$APP_PID"/task/*/comm 2>/dev/null || true)
[[ -z $music ]] || echo "  the recording still running after 6 s"

# Idle on the instruction screen: CPU over ten seconds, and memory.
# cpu_over LABEL: CPU of the program over the next ten seconds.
cpu_over() {
  local c0 c1
  c0=$(ticks)
  sleep 10
  c1=$(ticks)
  awk -v d=$((c1 - c0)) -v hz="$hz" -v what="$1" \
    'BEGIN {printf "%s: %.2f %% of one core\n", what, 100 * d / hz / 10}'
}
cpu_over "idle CPU"
awk '/VmRSS/ {printf "resident memory: %.1f MB\n", $2 / 1024}
     /VmHWM/ {printf "peak resident memory: %.1f MB\n", $2 / 1024}' "/proc/$APP_PID/status"

# "Start game" (left of centre on the 1280 x 1024 screen), then a second
# for the music to start.
xdotool mousemove 552 742 sleep 0.05 click 1
sleep 1
cpu_over "game running with music"
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=

# The game-over screen after the applause: the real main window plays a
# game to its end, then measures itself over ten seconds.
BENCH_DIR=$(dirname "$(readlink -f ./zoftrel)")/../bench
"$BENCH_DIR/idle_gameover" 2>/dev/null
