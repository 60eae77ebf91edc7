#!/usr/bin/env bash
# Keys in a real X window under a Russian layout: Start game by Return, then
# Return, Space and keypad Enter during the game press no button (no exit
# question), and the key in the place of S (Cyrillic yeru) turns red's tank.
# Held keys: a turn stops when its key is let go, also after the window lost
# and got back the keyboard, and a held shoot key fires again each time
# its cooldown has run out.
# Usage: test_keyboard.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"

start_x 1280 1024
setxkbmap -layout ru || fail "setxkbmap could not set the Russian layout"
cd "$RUN_DIR"
# The sound goes to a file; without a soundfont the music is silent and
# only the game's sounds are heard.
RAW=$OUT/keyboard.raw
rm -f "$RAW"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$RAW ZOFTREL_SOUNDFONT=/nonexistent ./zoftrel &
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

# differing A B: the number of pixels that differ between two screenshots.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
shot() { screenshot "$OUT/keyboard_$1.png"; }

# Blue holds keypad 6 (Num Lock on) past X's delay before the first
# repeat: the tank turns while the repeats come, and stands once the key
# is let go.
xdotool key Num_Lock
xdotool keydown KP_Right
sleep 1.1
shot held1
sleep 0.3
shot held2
xdotool keyup KP_Right
sleep 0.2
shot let_go1
sleep 0.4
shot let_go2
d=$(differing "$OUT/keyboard_held1.png" "$OUT/keyboard_held2.png")
((d > 8)) || fail "blue's tank stood still while keypad 6 was held ($d pixels changed)"
d=$(differing "$OUT/keyboard_let_go1.png" "$OUT/keyboard_let_go2.png")
((d == 0)) || fail "blue's tank went on turning after keypad 6 was let go ($d pixels changed)"

# Held while another window takes the keyboard and let go there, the key
# leaves the tank turning, as the game never hears of the release; a new
# press and release of it here stops the tank.
xmessage -name other "another window" &
OTHER_PID=$!
OTHER=$(wait_window other)
xdotool keydown KP_Right
sleep 0.8
xdotool windowfocus --sync "$OTHER"
sleep 0.3
xdotool keyup KP_Right
xdotool windowfocus --sync "$WIN"
sleep 0.2
shot back1
sleep 0.3
shot back2
d=$(differing "$OUT/keyboard_back1.png" "$OUT/keyboard_back2.png")
((d > 8)) || fail "blue's tank stopped on a release in another window ($d pixels changed)"
xdotool keydown KP_Right
sleep 0.8
xdotool keyup KP_Right
sleep 0.2
shot again1
sleep 0.4
shot again2
d=$(differing "$OUT/keyboard_again1.png" "$OUT/keyboard_again2.png")
((d == 0)) || fail "blue's tank went on turning after keypad 6 was pressed and let go again"
kill "$OTHER_PID"

# Blue holds keypad 8 for 3 s: the shot at the press, then one at the
# first repeat after each 1.21 s cooldown, about 1.21-1.25 s and
# 2.42-2.50 s later (repeats come every 40 ms; the sound starts on the
# mixer's next 20 ms block).
sound_from=$(seconds_recorded)
xdotool keydown KP_Up
sleep 3
xdotool keyup KP_Up
sleep 0.3
# loudness FROM LENGTH: the peak of a stretch of the recording, from FROM
# seconds after the first shot.
first=$(sox -t raw -r $RATE -e floating-point -b 32 -c 2 "$RAW" -t dat - trim "$sound_from" 1.5 |
  awk '!/^;/ && t == "" && ($2 > 0.05 || $2 < -0.05) {t = $1} END {if (t != "") printf "%.3f", t}')
[[ -n $first ]] || fail "no shot on pressing keypad 8"
loudness() { peak "$(awk -v a="$sound_from" -v b="$first" -v c="$1" 'BEGIN {print a + b + c}')" "$2"; }
p=$(loudness 1.15 0.3)
loud "$p" || fail "no second shot 1.2 s after the first while keypad 8 was held (peak $p)"
p=$(loudness 2.36 0.34)
loud "$p" || fail "no third shot 2.4 s after the first while keypad 8 was held (peak $p)"

kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
echo "keyboard test passed"
