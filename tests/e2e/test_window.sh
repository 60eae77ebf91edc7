#!/usr/bin/env bash
# The program in a real X window on a 1280 x 1024 screen: layout, the
# instruction screen, the About box and the Exit question.
# Usage: test_window.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
on_screen 1280 1024 "$@"
start_main
sleep 0.3
screenshot "$OUT/instructions.png"

# The olive field, the score labels, the instruction text and the buttons.
[[ $(pixel "$OUT/instructions.png" 140 400) == "128,128,0" ]] || fail "field is not olive"
[[ $(pixel "$OUT/instructions.png" 1100 800) == "128,128,0" ]] || fail "field is not olive"
(($(count_colour "$OUT/instructions.png" 130 152 200 30 128 0 0) > 20)) || fail "no red score"
(($(count_colour "$OUT/instructions.png" 950 152 200 30 0 0 255) > 20)) || fail "no blue score"
(($(count_colour "$OUT/instructions.png" 440 190 400 100 0 0 0) > 300)) || fail "no instructions"
(($(count_colour "$OUT/instructions.png" 380 340 260 240 128 0 0) > 300)) || fail "no red column"
(($(count_colour "$OUT/instructions.png" 680 320 260 260 0 0 255) > 300)) || fail "no blue column"
# Start game (left of centre), About... (right of centre), Exit (bottom).
for xy in "552 742" "725 742" "640 835"; do
  read -r bx by <<<"$xy"
  [[ $(pixel "$OUT/instructions.png" "$bx" "$by") != "128,128,0" ]] || fail "no button at $xy"
done

# About... opens the About box above the main window.
click 725 742
ABOUT=$(wait_window "Om Zoftrel")
read -r AX AY AW AH < <(geometry "$ABOUT")
((AY == 129)) || fail "About box top $AY"
((AW == 249 && AH == 190)) || fail "About box client area ${AW}x$AH, designed 249x190"
((AX == (1280 - AW) / 2 || AX == (1280 - AW + 1) / 2)) || fail "About box left $AX"
sleep 0.3
screenshot "$OUT/about.png"
[[ $(pixel "$OUT/about.png" $((AX + 5)) $((AY + AH - 5))) == "0,0,0" ]] || fail "About box not on top"
# Escape does nothing; OK closes it.
key_to "$ABOUT" Escape
sleep 0.3
xdotool search --onlyvisible --name '^Om Zoftrel$' >/dev/null || fail "Escape closed the About box"
click $((AX + AW / 2)) $((AY + AH * 154 / 190))
wait_gone "Om Zoftrel"

# Exit, then No: the program goes on.
click 640 835
CONFIRM=$(wait_window Confirm)
key_to "$CONFIRM" Escape
wait_gone Confirm
sleep 0.3
kill -0 "$APP_PID" || fail "the program ended after No"
wait_window Zoftrel >/dev/null

# Exit, then Yes: the program ends with exit code 0.
click 640 835
CONFIRM=$(wait_window Confirm)
key_to "$CONFIRM" Return
expect_exit "$APP_PID" 0
echo "window test passed"
