#!/usr/bin/env bash
# CPU of the real program while a game is played under Xvfb for 30 seconds
# (a game that ends is started again). Prints the process's CPU as a share
# of one core and its split by thread: the main thread, Qt's X event
# thread, the SDL audio thread and the rest.
# Usage: bench/play_cpu.sh [RUN_DIR] [SECONDS]   (default: build/bin, 30)
# PLAY_KEYS says what the players do on the keyboard:
#   play (the default)  both keep their tanks turning, drive now and then
#                       and shoot about once a second;
#   hold                red holds F and blue keypad 6 all along (X repeats
#                       the key pressed last, 25 times a second);
#   still               the same, but a tap of Q (no game key) at once ends
#                       X's repeats: the same turning tanks, no repeats;
#   none                no keys.
# PLAY_ARGS="--blue=normal" plays against the computer: the keys sent for
# its side are then ignored. Side by side, what held keys cost against the
# computer playing both sides:
#   PLAY_KEYS=hold bench/play_cpu.sh
#   PLAY_KEYS=none PLAY_ARGS="--red=hard --blue=hard" bench/play_cpu.sh
# PLAY_SHOT=FILE also keeps a screenshot of the game at the end.
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=${1:-$(dirname "$0")/../build/bin}
DURATION=${2:-30}
KEYS=${PLAY_KEYS:-play}
[[ $KEYS =~ ^(play|hold|still|none)$ ]] || fail "PLAY_KEYS is play, hold, still or none"
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
  # (With Num Lock on, the key of keypad 6 is sent by its other name.)
  [[ $KEYS == none ]] || xdotool keydown f keydown KP_Right
  [[ $KEYS != still ]] || xdotool key q
}
release_keys() { [[ $KEYS == none ]] || xdotool keyup f keyup KP_Right; }
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
sleep 1 # past X's delay before the first repeat

# The CPU time in nanoseconds of each of the program's threads: "TID NS".
thread_times() {
  local t
  for t in /proc/$APP_PID/task/*; do
    echo "${t##*/} $(cut -d' ' -f1 "$t/schedstat" 2>/dev/null || echo 0)"
  done
}
# The part each thread plays: main, xcb (Qt's X event thread), audio or
# other; "TID PART".
thread_parts() {
  local t comm part
  for t in /proc/$APP_PID/task/*; do
    comm=$(cat "$t/comm" 2>/dev/null || true)
    case $comm in
    QXcbEventQueue) part=xcb ;;
    SDLAudio*) part=audio ;;
    *) part=other ;;
    esac
    [[ ${t##*/} == "$APP_PID" ]] && part=main
    echo "${t##*/} $part"
  done
}

before=$(thread_times)
t0=$(date +%s.%N)
restarts=0
end=$((SECONDS + DURATION))
round=0
while ((SECONDS < end)); do
  round=$((round + 1))
  if [[ $KEYS == play ]]; then
    # Shots about every 1.3 seconds, a short drive every fourth round.
    xdotool key e key KP_8
    if ((round % 4 == 0)); then
      xdotool keydown s keydown KP_4
      sleep 0.3
      xdotool keyup s keyup KP_4
    fi
  fi
  sleep 1
  if ((round % 3 == 0)) && game_over; then
    release_keys
    click "${START[@]}" # New game
    sleep 0.3
    start_game
    restarts=$((restarts + 1))
  fi
done
after=$(thread_times)
t1=$(date +%s.%N)
parts=$(thread_parts)
release_keys
# PLAY_SHOT=FILE keeps a screenshot of the game as it ended.
if [[ -n ${PLAY_SHOT:-} ]]; then screenshot "$PLAY_SHOT"; fi

seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')
# Three inputs, one after the other: the parts, the times before, after.
awk -v s="$seconds" -v r="$restarts" -v k="$KEYS" -v a="${PLAY_ARGS:-}" '
  FNR == 1 {input++}
  input == 1 {part[$1] = $2; next}
  input == 2 {t0[$1] = $2; next}
  {
    p = ($1 in part) ? part[$1] : "other"
    use[p] += $2 - t0[$1]
    all += $2 - t0[$1]
  }
  function pc(ns) {return 100 * ns / 1e9 / s}
  END {
    printf "playing for %.1f s (keys %s%s, %d new games): %.2f %% of one core\n",
      s, k, a == "" ? "" : ", " a, r, pc(all)
    printf "main %.2f %%, xcb events %.2f %%, audio %.2f %%, other %.2f %%; all but audio %.2f %%\n",
      pc(use["main"]), pc(use["xcb"]), pc(use["audio"]), pc(use["other"]), pc(all - use["audio"])
  }' <(echo "$parts") <(echo "$before") <(echo "$after")
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
