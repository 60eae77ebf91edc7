#!/usr/bin/env bash
# The program under a window manager (openbox) on a 1024 x 768 screen: the
# About box keeps its designed client area of 249 x 190 and is centred by
# its outer width, frame included, with its frame's top at 129. (With
# openbox's frame of one pixel a side, 1024 is a width where centring the
# client area instead is two pixels off.) Minimised by the window manager,
# it comes back where it was with About.... During a game, after No to the
# exit question (answered with the mouse or the keyboard), Return, Space
# and keypad Enter press no button and the game goes on.
# Usage: test_wm.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1024 768
start_wm
cd "$RUN_DIR"
SDL_AUDIODRIVER=dummy ./zoftrel &
APP_PID=$!

# client_geometry ID: "X Y W H" of the client area on the screen. (Under a
# window manager xdotool counts the frame twice.)
client_geometry() {
  xwininfo -id "$1" | awk -F: '
    /Absolute upper-left X/ {x=$2} /Absolute upper-left Y/ {y=$2}
    /Width/ {w=$2} /Height/ {h=$2} END {print x+0, y+0, w+0, h+0}'
}

# frame_extents ID: "LEFT RIGHT TOP BOTTOM" of the window manager's frame.
frame_extents() {
  xprop -id "$1" _NET_FRAME_EXTENTS | tr -dc '0-9 ,\n' | tr ',' ' '
}

MAIN=$(wait_window Zoftrel)
sleep 0.5
# About... lies right of the centre, its top 150 above the bottom of the
# outer window.
read -r X Y W H < <(client_geometry "$MAIN")
read -r FL_MAIN FR_MAIN FT_MAIN FB_MAIN < <(frame_extents "$MAIN")
click $((X + (W + FL_MAIN + FR_MAIN) / 2 + 80)) $((Y + H + FT_MAIN + FB_MAIN - 128))
ABOUT=$(wait_window "Om Zoftrel")
sleep 0.3
read -r AX AY AW AH < <(client_geometry "$ABOUT")
((AW == 249 && AH == 190)) || fail "About box client area ${AW}x$AH"
read -r FL FR FT FB < <(frame_extents "$ABOUT")
((FL + FR > 0)) || fail "no frame around the About box"
OUTER=$((AW + FL + FR))
LEFT=$(round_half_even $((1024 - OUTER)))
((AX - FL == LEFT)) || fail "About box frame at left $((AX - FL)), expected $LEFT for outer width $OUTER"
((AY - FT == 129)) || fail "About box frame at top $((AY - FT))"
import -window root "$OUT/about_wm.png"

# Minimised (openbox gives the box a minimise button), then About... again:
# the box is back, viewable, active and where it was.
xdotool windowminimize --sync "$ABOUT"
wait_gone "Om Zoftrel" 5
# (openbox animates the minimising with the pointer grabbed: a click at
# once would be lost.)
sleep 0.3
click $((X + (W + FL_MAIN + FR_MAIN) / 2 + 80)) $((Y + H + FT_MAIN + FB_MAIN - 128))
BACK=$(wait_window "Om Zoftrel" 5)
[[ $BACK == "$ABOUT" ]] || fail "About... made another box"
sleep 0.3
read -r BX BY BW BH < <(client_geometry "$ABOUT")
[[ "$BX $BY $BW $BH" == "$AX $AY $AW $AH" ]] ||
  fail "About box back at $BX,$BY ${BW}x$BH, was at $AX,$AY ${AW}x$AH"
xprop -id "$ABOUT" _NET_WM_STATE | grep -q HIDDEN && fail "the About box is still minimised"
[[ $(xdotool getactivewindow) == "$ABOUT" ]] || fail "the About box came back inactive"
import -window root "$OUT/about_restored.png"
white=$(count_colour "$OUT/about_restored.png" "$AX" "$AY" "$AW" "$AH" 255 255 255)
((white > 100)) || fail "the About box came back without its texts ($white white pixels)"
# OK closes it (its client position 94,142, size 54 x 25).
click $((AX + 121)) $((AY + 154))
wait_gone "Om Zoftrel" 5

# A game: Start game (client 361,558, size 111 x 45 for this window's
# outer size 1004 x 708).
click $((X + 417)) $((Y + 580))
sleep 0.5
xdotool search --onlyvisible --name '^Confirm$' >/dev/null 2>&1 && fail "the exit question is open"

# Exit (client 457,658, size 89 x 27) asks; MODE answers No: "mouse" clicks
# No, the right-hand of the box's two buttons, "keyboard" presses Escape.
exit_no() {
  local box bx by bw bh
  click $((X + 501)) $((Y + 671))
  box=$(wait_window Confirm 5)
  sleep 0.3
  read -r bx by bw bh < <(client_geometry "$box")
  if [[ $1 == mouse ]]; then
    click $((bx + bw - 51)) $((by + bh - 23))
  else
    key_to "$box" Escape
  fi
  wait_gone Confirm 5
  sleep 0.3
  kill -0 "$APP_PID" 2>/dev/null || fail "No to the exit question ($1) ended the program"
}

# The keys that press a focused button press nothing; red's S key still
# turns its tank, so the main loop runs.
keys_press_nothing() {
  local key d
  for key in Return space KP_Enter; do
    key_to "$MAIN" "$key"
    sleep 0.4
    if xdotool search --onlyvisible --name '^Confirm$' >/dev/null 2>&1; then
      fail "$key after No ($1) asked the exit question again"
    fi
  done
  kill -0 "$APP_PID" 2>/dev/null || fail "$key after No ($1) ended the program"
  import -window root "$OUT/wm_before_turn.png"
  xdotool keydown s
  sleep 0.5
  xdotool keyup s
  sleep 0.1
  import -window root "$OUT/wm_turned.png"
  d=$(compare -metric AE "$OUT/wm_before_turn.png" "$OUT/wm_turned.png" null: 2>&1 || true)
  ((d > 8)) || fail "the game stands still after No ($1): $d pixels changed"
}

exit_no mouse
keys_press_nothing mouse
exit_no keyboard
keys_press_nothing keyboard
echo "window-manager test passed"
