#!/usr/bin/env bash
# Start-up time, idle CPU and resident memory of the real program under
# Xvfb. Start-up is measured from process start to the main window being
# mapped: one warm-up run, then the median of five.
# Then the CPU the first three seconds take (start-up and the music's
# recording), and the CPU of a game that has just started (timer running, music
# playing, no key pressed) over ten seconds.
# Usage: bench/startup.sh [RUN_DIR]   (default: build/bin)
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

echo "soundfont: ${ZOFTREL_SOUNDFONT:-default choice (TimGM6mb when installed)}"

times=()
for i in 0 1 2 3 4 5; do
  one_run
  if ((i > 0)); then times+=("$RUN_MS"); fi
  if ((i < 5)); then
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
  fi
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "start-up to window mapped (ms): $sorted-> median $median"

ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }
hz=$(getconf CLK_TCK)
# The first three seconds hold the start-up and the music's recording,
# which a thread of its own renders once, in the background, as soon as the
# tune is opened.
sleep 3
awk -v t="$(ticks)" -v hz="$hz" 'BEGIN {printf "CPU in the first 3 s (start-up, the music recorded): %.2f s\n", t / hz}'
music=$(grep -l '^zoftrel-music$' /proc/"$APP_PID"/task/*/comm 2>/dev/null || true)
[[ -z $music ]] || echo "  the recording still running after 3 s"

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
awk '/VmRSS/ {printf "resident memory: %.1f MB\n", $2 / 1024}' "/proc/$APP_PID/status"

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
