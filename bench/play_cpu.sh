#!/usr/bin/env bash
# CPU of the real program while a game is played under Xvfb: both players
# keep their tanks turning, drive now and then and shoot about once a
# second, for 30 seconds (a game that ends is started again). Prints the
# process's CPU as a share of one core, and the SDL audio thread's part.
# Usage: bench/play_cpu.sh [RUN_DIR] [SECONDS]   (default: build/bin, 30)
# PLAY_SHOT=FILE also keeps a screenshot of the game at the end.
# PLAY_ARGS="--blue=normal" plays against the computer: the keys sent for
# its side are then ignored.
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=${1:-$(dirname "$0")/../build/bin}
DURATION=${2:-30}
cd "$RUN_DIR"
start_x 1280 1024
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

# shellcheck disable=SC2086
./zoftrel ${PLAY_ARGS:-} >/dev/null 2>&1 &
APP_PID=$!
WIN=$(wait_window Zoftrel)
sleep 0.5

START=(552 742) # Start game / New game, on screen
start_game() {
  click "${START[@]}"
  sleep 0.3
  xdotool windowfocus --sync "$WIN"
  # Red turns right, blue turns right; driving adds the other turn key.
  xdotool keydown f keydown KP_6
}
# True while the start button is on view (the game is over).
game_over() {
  local shot
  shot=$(mktemp --suffix=.png)
  screenshot "$shot"
  [[ $(pixel "$shot" "${START[@]}") != "128,128,0" ]]
  local over=$?
  rm -f "$shot"
  return $over
}

xdotool windowfocus --sync "$WIN"
xdotool key Num_Lock
start_game

# ticks TID-PATH: utime + stime of a process or thread.
ticks() { awk '{sub(/^.*\) /, ""); print $12 + $13}' "$1/stat"; }
audio_task() {
  local t
  for t in /proc/$APP_PID/task/*; do
    if [[ $(cat "$t/comm") == SDLAudio* ]]; then
      echo "$t"
      return
    fi
  done
}
AUDIO=$(audio_task)
[[ -n $AUDIO ]] || fail "no SDL audio thread among: $(cat /proc/$APP_PID/task/*/comm | tr '\n' ' ')"

p0=$(ticks /proc/$APP_PID)
a0=$(ticks "$AUDIO")
t0=$(date +%s.%N)
restarts=0
end=$((SECONDS + DURATION))
round=0
while ((SECONDS < end)); do
  round=$((round + 1))
  # Shots about every 1.3 seconds, a short drive every fourth round.
  xdotool key e key KP_8
  if ((round % 4 == 0)); then
    xdotool keydown s keydown KP_4
    sleep 0.3
    xdotool keyup s keyup KP_4
  fi
  sleep 1
  if ((round % 3 == 0)) && game_over; then
    xdotool keyup f keyup KP_6
    click "${START[@]}" # New game
    sleep 0.3
    start_game
    restarts=$((restarts + 1))
  fi
done
p1=$(ticks /proc/$APP_PID)
a1=$(ticks "$AUDIO")
t1=$(date +%s.%N)
xdotool keyup f keyup KP_6
# PLAY_SHOT=FILE keeps a screenshot of the game as it ended.
if [[ -n ${PLAY_SHOT:-} ]]; then screenshot "$PLAY_SHOT"; fi

hz=$(getconf CLK_TCK)
awk -v p=$((p1 - p0)) -v a=$((a1 - a0)) -v hz="$hz" -v t0="$t0" -v t1="$t1" -v r="$restarts" \
  -v comm="$(cat "$AUDIO/comm")" 'BEGIN {
    s = t1 - t0
    printf "playing for %.1f s (%d new games): %.1f %% of one core\n", s, r, 100 * p / hz / s
    printf "audio thread (%s): %.1f %% of one core, %.0f %% of the process\n",
      comm, 100 * a / hz / s, p ? 100 * a / p : 0
  }'
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
