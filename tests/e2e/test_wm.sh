#!/usr/bin/env bash
# The program under a window manager (openbox) on a 1024 x 768 screen: the
# About box keeps its designed client area of 249 x 190 and is centred by
# its outer width, frame included, with its frame's top at 129. (With
# openbox's frame of one pixel a side, 1024 is a width where centring the
# client area instead is two pixels off.)
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
read -r FL FR FT FB < <(frame_extents "$MAIN")
click $((X + (W + FL + FR) / 2 + 80)) $((Y + H + FT + FB - 128))
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
echo "window-manager test passed"
