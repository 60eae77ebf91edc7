#!/usr/bin/env bash
# A game in a real X window on a 1280 x 1024 screen, played with real key
# events: the six tanks on the instruction screen, Start game (walls, the
# instructions gone, the start sound), red turning, driving and shooting,
# blue switching tanks and turning on the numeric keypad.
# Usage: test_game.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2
mkdir -p "$OUT"
RAW=$OUT/game.raw
rm -f "$RAW"

# The window's client area on this screen.
CX=130
CY=152
CW=1020
CH=720

# count FILE X Y W H R G B, with X and Y in client coordinates.
count() {
  count_colour "$1" $((CX + $2)) $((CY + $3)) "$4" "$5" "$6" "$7" "$8"
}
# Whole client area.
count_all() { count "$1" 0 0 $CW $CH "$2" "$3" "$4"; }

# centre FILE R G B: the client position "X Y" of the centre of the box
# around the pixels of that colour (empty when there are none).
centre() {
  local hex
  hex=$(printf '#%02X%02X%02X' "$2" "$3" "$4")
  convert "$1" -crop "${CW}x${CH}+${CX}+${CY}" +repage -fill black +opaque "$hex" \
    -format "%@" info: | awk -F'[x+]' '$1 > 0 {print $3 + $1 / 2, $4 + $2 / 2}'
}

# differing A B: the number of pixels that differ between two screenshots.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

shot() { screenshot "$OUT/$1.png"; }

t0=$SECONDS
start_x 1280 1024
cd "$RUN_DIR"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$RAW ./zoftrel &
APP_PID=$!
WIN=$(wait_window Zoftrel)
read -r X Y W H < <(geometry "$WIN")
[[ "$X $Y $W $H" == "$CX $CY $CW $CH" ]] || fail "window at $X,$Y size ${W}x$H"
sleep 0.5
shot instructions
S=$OUT/instructions.png

# Three red tanks at client X 75 and three blue ones at 945, one in each
# third of the field (centres 30..121 below the third's top, so the bodies
# reach 10 above and below), none in a highlight colour.
for band in 30 270 510; do
  n=$(count "$S" 60 $((band - 10)) 31 112 255 0 0)
  ((n > 100)) || fail "no red tank near y $band ($n red pixels)"
  n=$(count "$S" 930 $((band - 10)) 31 112 0 0 255)
  ((n > 100)) || fail "no blue tank near y $band ($n blue pixels)"
done
(($(count_all "$S" 255 0 255) == 0)) || fail "a red tank is highlighted"
(($(count_all "$S" 0 255 255) == 0)) || fail "a blue tank is highlighted"
# (The buttons' edges below the field have a few pixels of the walls' grey.)
(($(count "$S" 0 0 $CW 560 51 51 51) == 0)) || fail "walls on the instruction screen"
text=$(count "$S" 310 38 400 100 0 0 0)
((text > 300)) || fail "no instructions ($text black pixels)"

# Start game: walls, the instructions gone, the start sound.
sound_from=$(seconds_recorded)
click $((CX + 422)) $((CY + 590))
sleep 0.6
shot started
S=$OUT/started.png
walls=$(count "$S" 0 0 $CW 560 51 51 51)
((walls > 300)) || fail "no walls after Start game ($walls grey pixels)"
text=$(count "$S" 310 38 400 100 0 0 0)
((text < 60)) || fail "the instructions are still there ($text black pixels)"
p=$(peak "$sound_from" 0.6)
loud "$p" || fail "no start sound (peak $p)"

# Red turns left on S: its active tank shows the highlight colour.
xdotool windowfocus --sync "$WIN"
xdotool keydown s
sleep 0.5
xdotool keyup s
sleep 0.1
shot red_turned
S=$OUT/red_turned.png
n=$(count_all "$S" 255 0 255)
((n > 100)) || fail "red's active tank is not highlighted after turning ($n pixels)"

# S and F together drive it forward. Should it face a wall or an edge, it
# turns a little and tries again.
moved=
for try in 1 2 3; do
  read -r x0 y0 < <(centre "$S" 255 0 255)
  xdotool keydown s keydown f
  sleep 1
  xdotool keyup f keyup s
  sleep 0.1
  shot red_drove
  S=$OUT/red_drove.png
  read -r x1 y1 < <(centre "$S" 255 0 255)
  if awk -v a="$x0" -v b="$y0" -v c="$x1" -v d="$y1" \
    'BEGIN {exit !((c - a) ^ 2 + (d - b) ^ 2 > 100)}'; then
    moved=1
    break
  fi
  xdotool keydown s
  sleep 0.8
  xdotool keyup s
  sleep 0.1
  shot red_turned
  S=$OUT/red_turned.png
done
[[ -n $moved ]] || fail "red's tank did not drive (from $x0,$y0 to $x1,$y1)"

# E fires: the bullet shows and flies on.
shot before_shot
xdotool key e
sleep 0.12
shot shot1
sleep 0.15
shot shot2
d1=$(differing "$OUT/before_shot.png" "$OUT/shot1.png")
d2=$(differing "$OUT/shot1.png" "$OUT/shot2.png")
# The bullet shows and moves on; should the tank have driven up to a wall
# or an edge, it stops at once, under the star, or leaves the window, so
# only its first showing is certain.
((d1 > 8)) || fail "no shot to be seen ($d1 and $d2 pixels changed)"

# Blue: keypad 0 switches tanks (Num Lock on), keypad 4 turns.
xdotool key Num_Lock
xdotool key KP_0
sleep 0.3
shot blue_switched
S=$OUT/blue_switched.png
n=$(count_all "$S" 0 255 255)
((n > 100)) || fail "blue's next tank is not highlighted after keypad 0 ($n pixels)"
xdotool keydown KP_4
sleep 0.5
xdotool keyup KP_4
sleep 0.1
shot blue_turned
d=$(differing "$S" "$OUT/blue_turned.png")
n=$(count_all "$OUT/blue_turned.png" 0 255 255)
((n > 100 && d > 8)) || fail "blue's tank did not turn on keypad 4 ($d pixels changed)"

# The game in progress, the window area alone.
convert "$OUT/blue_turned.png" -crop "${CW}x${CH}+${CX}+${CY}" +repage "$OUT/game.png"
convert "$OUT/instructions.png" -crop "${CW}x${CH}+${CX}+${CY}" +repage "$OUT/instructions_window.png"

kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
echo "game test passed in $((SECONDS - t0)) s"
