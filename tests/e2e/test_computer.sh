#!/usr/bin/env bash
# The computer plays itself in a real X window (--red=hard --blue=hard):
# Start game leads to a game over by itself within four minutes; New game
# and Start game then play a second one.
# Usage: test_computer.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

# Where the battle is: the client area above the buttons' row.
FIELD="1020x560+130+152"
# start NAME: Start game, and the button gone.
start() {
  click "${START[@]}"
  sleep 0.5
  shot "$1-started"
  ! button_shown "$OUT/$1-started.png" || fail "$1: Start game did not start a game"
  started=$SECONDS
}

start_x 1280 1024
cd "$RUN_DIR"
SDL_AUDIODRIVER=dummy ./zoftrel --red=hard --blue=hard &
APP_PID=$!
WIN=$(wait_window Zoftrel)
sleep 0.5
shot instructions
button_shown "$OUT/instructions.png" || fail "no Start game button on the instruction screen"

start game1
sleep 5
shot game1-moving
moved=$(compare -metric AE "$OUT/game1-started.png[$FIELD]" "$OUT/game1-moving.png[$FIELD]" \
  null: 2>&1 || true)
[[ $moved != 0 ]] || fail "nothing moved in 5 s: the computer pressed no key"
wait_over game1

# New game: fresh tanks, the button reads Start game and stays on view.
click "${START[@]}"
sleep 0.5
shot ready
button_shown "$OUT/ready.png" || fail "New game hid the button"
start game2
wait_over game2
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
echo "computer test passed"
