#!/usr/bin/env bash
# Keys in a real X window under a Russian layout: Start game by Return, then
# Return, Space and keypad Enter during the game press no button (no exit
# question), and the key in the place of S (Cyrillic yeru) turns red's tank.
# Usage: test_keyboard.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1280 1024
setxkbmap -layout ru || fail "setxkbmap could not set the Russian layout"
cd "$RUN_DIR"
SDL_AUDIODRIVER=dummy ./zoftrel &
APP_PID=$!
WIN=$(wait_window Zoftrel)
sleep 0.3

# Start game has the focus: Return starts the game.
key_to "$WIN" Return
sleep 0.5
screenshot "$OUT/keyboard_started.png"
walls=$(count_colour "$OUT/keyboard_started.png" 130 152 1020 560 51 51 51)
((walls > 300)) || fail "Return did not start the game ($walls grey pixels)"

# During the game these press no button: Exit would ask its question.
for key in Return space KP_Enter; do
  key_to "$WIN" "$key"
  sleep 0.4
  if xdotool search --onlyvisible --name '^Confirm$' >/dev/null 2>&1; then
    fail "$key during the game brought up the exit question"
  fi
done
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"

# The key where a US keyboard has S gives Cyrillic yeru here; red's active
# tank turns and shows its highlight colour.
(($(count_colour "$OUT/keyboard_started.png" 130 152 1020 720 255 0 255) == 0)) ||
  fail "a red tank is highlighted before any key"
xdotool windowfocus --sync "$WIN"
xdotool keydown Cyrillic_yeru
sleep 0.5
xdotool keyup Cyrillic_yeru
sleep 0.1
screenshot "$OUT/keyboard_turned.png"
n=$(count_colour "$OUT/keyboard_turned.png" 130 152 1020 720 255 0 255)
((n > 100)) || fail "red's tank did not turn on the S key under the Russian layout ($n pixels)"

kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
echo "keyboard test passed"
