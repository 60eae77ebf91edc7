# Helpers for the real-window tests: a private X server, the program in it,
# and screenshot checks. Sourced by the test scripts.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_x WIDTH HEIGHT: starts Xvfb on a free display and exports DISPLAY.
start_x() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${1}x${2}x24" -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [[ -s $fdfile ]] && break
    sleep 0.05
  done
  [[ -s $fdfile ]] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$fdfile")"
  # The real window system, whatever the caller's environment says.
  export QT_QPA_PLATFORM=xcb
  rm -f "$fdfile"
  trap stop_all EXIT
}

# new_display VAR: one more X server, for a test with several; sets VAR to
# its display and adds its pid to the caller's XVFB array, which the
# caller's own exit trap ends.
new_display() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fdfile" >/dev/null 2>&1 &
  XVFB+=($!)
  for _ in $(seq 100); do
    [[ -s $fdfile ]] && break
    sleep 0.05
  done
  [[ -s $fdfile ]] || fail "Xvfb did not start"
  printf -v "$1" ':%s' "$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

stop_all() {
  [[ -n ${APP_PID:-} ]] && kill "$APP_PID" 2>/dev/null || true
  [[ -n ${WM_PID:-} ]] && kill "$WM_PID" 2>/dev/null || true
  [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null || true
  stop_pulse_parts
  wait 2>/dev/null || true
  [[ -n ${PULSE_DIR:-} ]] && rm -rf "$PULSE_DIR" || true
}

# start_wm: starts openbox on the display and waits until it manages
# windows.
start_wm() {
  command -v openbox >/dev/null || fail "openbox is missing (scripts/deps.sh test installs it)"
  openbox --sm-disable >/dev/null 2>&1 &
  WM_PID=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
  fail "openbox did not start"
}

# on_screen WIDTH HEIGHT RUN_DIR OUT_DIR: X on a screen of that size, the
# output directory made and the program's directory the current one. Sets
# RUN_DIR and OUT.
on_screen() {
  RUN_DIR=$3
  OUT=$4
  mkdir -p "$OUT"
  start_x "$1" "$2"
  cd "$RUN_DIR"
}

# start_main [ARGS...]: runs ./zoftrel from here with silent sound, waits
# for its window and checks that it stands as it does on a 1280 x 1024
# screen: 1020 x 720 at 130,152. Sets APP_PID and MAIN.
start_main() {
  SDL_AUDIODRIVER=dummy ./zoftrel "$@" &
  APP_PID=$!
  MAIN=$(wait_window Zoftrel)
  local x y w h
  read -r x y w h < <(geometry "$MAIN")
  [[ "$x $y $w $h" == "130 152 1020 720" ]] || fail "with '$*': window at $x,$y size ${w}x$h"
}

# The start button's rectangle on a 1280 x 1024 screen (client area at
# 130,152; the button 111 x 45 at client 369,570), and its centre.
BX=499
BY=722
BW=111
BH=45
START=(554 744)

shot() { screenshot "$OUT/$1.png"; }
# button_shown FILE: the start button is on view: its face is light grey,
# a colour that nothing on the field has (the tanks' highlight aqua has no
# red).
button_shown() {
  local light
  light=$(convert "$1" -crop "${BW}x${BH}+${BX}+${BY}" +repage -fx 'min(r,min(g,b))' \
    -threshold 70% -format '%[fx:int(mean*w*h+0.5)]' info:)
  ((light > BW * BH / 3))
}
# wait_over NAME: waits up to four minutes for the game over, which puts
# the button back on view; "started" holds the game's start in SECONDS.
wait_over() {
  local deadline=$((SECONDS + 240))
  while ((SECONDS < deadline)); do
    sleep 2
    shot "$1"
    if button_shown "$OUT/$1.png"; then
      echo "$1 over after $((SECONDS - started)) s"
      return 0
    fi
  done
  fail "$1: no game over within four minutes"
}

# round_half_even NUMERATOR: NUMERATOR / 2 rounded, a half to the even
# neighbour.
round_half_even() {
  local n=$1 h=$(($1 / 2))
  ((n % 2 == 0)) && { echo "$h"; return; }
  ((h % 2 == 0)) && echo "$h" || echo $((h + 1))
}

# wait_window NAME [SECONDS]: prints the id of the first mapped window with
# exactly that title.
wait_window() {
  local deadline=$((SECONDS + ${2:-10})) id
  while ((SECONDS < deadline)); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    if [[ -n $id ]]; then
      echo "$id"
      return 0
    fi
    sleep 0.05
  done
  fail "no window titled '$1'"
}

# wait_gone NAME [SECONDS]
wait_gone() {
  local deadline=$((SECONDS + ${2:-10}))
  while ((SECONDS < deadline)); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.05
  done
  fail "window '$1' is still there"
}

# geometry ID: prints "X Y W H".
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '
    /^X=/ {x=$2} /^Y=/ {y=$2} /^WIDTH=/ {w=$2} /^HEIGHT=/ {h=$2}
    END {print x, y, w, h}'
}

screenshot() { import -window root "$1"; }

# pixel FILE X Y: prints "r,g,b".
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}

# count_colour FILE X Y W H R G B: the number of pixels of that colour.
count_colour() {
  local hex
  hex=$(printf '#%02X%02X%02X' "$6" "$7" "$8")
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -format %c histogram:info:- |
    awk -v c="$hex" 'index($0, c) {gsub(":", "", $1); n += $1} END {print n + 0}'
}

# click X Y: a left click at a screen position.
click() {
  # (mousemove --sync would wait for a move that never comes when the
  # pointer is already there.)
  xdotool mousemove "$1" "$2" sleep 0.05 click 1
}

# key_to ID KEY...: focuses a window and types keys into it.
key_to() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  xdotool key --clearmodifiers "$@"
}

# expect_exit PID CODE [SECONDS]
expect_exit() {
  local deadline=$((SECONDS + ${3:-10})) rc
  while ((SECONDS < deadline)); do
    if ! kill -0 "$1" 2>/dev/null; then
      set +e
      wait "$1"
      rc=$?
      set -e
      APP_PID=
      [[ $rc == "$2" ]] || fail "exit code $rc, expected $2"
      return 0
    fi
    sleep 0.05
  done
  fail "the program did not end"
}

# Sound recorded through SDL's "disk" driver into $RAW: stereo 32-bit float
# at 44,100 Hz.
RATE=44100
FRAME=8

# peak FROM_SECONDS LENGTH_SECONDS: the largest sample value in that stretch.
peak() {
  sox -t raw -r $RATE -e floating-point -b 32 -c 2 "$RAW" -n trim "$1" "$2" stat 2>&1 |
    awk '/Maximum amplitude/ {max=$3} /Minimum amplitude/ {min=-$3} END {print (max > min ? max : min)}'
}
loud() { awk -v p="$1" 'BEGIN {exit !(p > 0.01)}'; }
# The seconds of sound recorded so far.
seconds_recorded() {
  awk -v b="$(stat -c %s "$RAW")" -v f=$FRAME -v r=$RATE 'BEGIN {printf "%.3f", b / f / r}'
}

# The sound servers below are ended by stop_all when the test ends, also
# when it fails. The suite's last test looks for any that was not: they
# carry the suite's ZOFTREL_E2E_SUITE in their environment.
trap_servers() {
  export ZOFTREL_E2E_SUITE=${ZOFTREL_E2E_SUITE:-}
  trap stop_all EXIT
}

# A private PulseAudio server for this test alone: its own runtime and home
# directories, a null sink "out" that suspends when idle, no system
# service, no autospawn. The program and parec find it through
# XDG_RUNTIME_DIR.
start_pulse() {
  trap_servers
  PULSE_DIR=$(mktemp -d)
  mkdir -p "$PULSE_DIR/run" "$PULSE_DIR/home"
  chmod 700 "$PULSE_DIR/run"
  cat >"$PULSE_DIR/server.pa" <<'PA'
load-module module-null-sink sink_name=out rate=44100
load-module module-native-protocol-unix
load-module module-suspend-on-idle timeout=1
set-default-sink out
PA
  echo "autospawn = no" >"$PULSE_DIR/client.conf"
  export XDG_RUNTIME_DIR=$PULSE_DIR/run HOME=$PULSE_DIR/home
  export PULSE_CLIENTCONFIG=$PULSE_DIR/client.conf
  unset PULSE_SERVER SDL_AUDIODRIVER
  run_pulse
}

# start_pipewire: the same on a private PipeWire, as desktops have it: the
# server, WirePlumber (which suspends an idle sink after 5 s) and the
# PulseAudio layer, on a D-Bus session of their own, with a null sink
# "out". PULSE_PID is the PulseAudio layer's; SERVER_PIDS all of them.
start_pipewire() {
  trap_servers
  PULSE_DIR=$(mktemp -d)
  mkdir -p "$PULSE_DIR/run" "$PULSE_DIR/home"
  chmod 700 "$PULSE_DIR/run"
  export XDG_RUNTIME_DIR=$PULSE_DIR/run HOME=$PULSE_DIR/home
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$PULSE_DIR/run/bus
  unset PULSE_SERVER SDL_AUDIODRIVER PULSE_CLIENTCONFIG
  dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile \
    >"$PULSE_DIR/log" 2>&1 &
  PW_PIDS=($!)
  for _ in $(seq 100); do
    [[ -S $PULSE_DIR/run/bus ]] && break
    sleep 0.05
  done
  local part
  for part in pipewire wireplumber pipewire-pulse; do
    "$part" >>"$PULSE_DIR/log" 2>&1 &
    PW_PIDS+=($!)
  done
  PULSE_PID=${PW_PIDS[3]}
  SERVER_PIDS=("${PW_PIDS[@]:1}")
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl load-module module-null-sink sink_name=out rate=44100 >/dev/null ||
    fail "PipeWire did not start: $(tail -n3 "$PULSE_DIR/log")"
  pactl set-default-sink out
}

# (Re)starts the server of start_pulse and waits until it answers. As root
# it warns that it is meant for a system service; it runs all the same.
run_pulse() {
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    -F "$PULSE_DIR/server.pa" >>"$PULSE_DIR/log" 2>&1 &
  PULSE_PID=$!
  SERVER_PIDS=("$PULSE_PID")
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  fail "PulseAudio did not start: $(tail -n3 "$PULSE_DIR/log")"
}

# The state of the null sink: RUNNING, IDLE or SUSPENDED.
sink_state() { pactl list short sinks | awk '$2 == "out" {print $NF}'; }

# wait_suspended SECONDS WHEN: within SECONDS the program gives its stream
# back and the sink suspends, or the test fails, saying WHEN it did not.
wait_suspended() {
  local deadline=$((SECONDS + $1))
  until [[ $(sink_state) == SUSPENDED ]] && (($(pactl list short sink-inputs | wc -l) == 0)); do
    ((SECONDS < deadline)) || fail "the sink is not suspended $2: $(sink_state)"
    sleep 0.1
  done
}

# record FILE: records the null sink's monitor in the background, in the
# format the helpers below read; REC_PID.
record() {
  parec -d out.monitor --format=float32le --rate=$RATE --channels=2 --raw --latency-msec=10 "$1" &
  REC_PID=$!
}

# music_after_click T0: as on a desktop, where the program's stream is the
# one that wakes the suspended sink, with nothing else connected to the
# server: its stream must be there 1, 3 and 6 s after the click made at
# $EPOCHREALTIME T0, and only then is the monitor recorded, for 3 s, which
# must hold sound. Sets RAW.
music_after_click() {
  local t0=$1 at
  for at in 1 3 6; do
    sleep "$(awk -v t0="$t0" -v at="$at" -v n="$EPOCHREALTIME" 'BEGIN {d = t0 + at - n; print (d > 0 ? d : 0)}')"
    (($(pactl list short sink-inputs | wc -l) == 1)) ||
      fail "$at s after the click the program plays nothing to the server (sink $(sink_state))"
  done
  RAW=$OUT/pulse-desktop-$RANDOM.raw
  record "$RAW"
  for _ in $(seq 100); do
    awk -v s="$(seconds_recorded 2>/dev/null || echo 0)" 'BEGIN {exit !(s >= 3)}' && break
    sleep 0.05
  done
  kill "$REC_PID" 2>/dev/null || true
  wait "$REC_PID" 2>/dev/null || true
  REC_PID=
  local p
  p=$(peak 0 3)
  loud "$p" || fail "the recording from 6 s after the click is silent (peak $p)"
}

stop_pulse_parts() {
  [[ -n ${REC_PID:-} ]] && kill "$REC_PID" 2>/dev/null || true
  [[ -n ${PULSE_PID:-} ]] && kill "$PULSE_PID" 2>/dev/null || true
  [[ -n ${PW_PIDS:-} ]] && kill "${PW_PIDS[@]}" 2>/dev/null || true
  REC_PID= PULSE_PID= PW_PIDS=
}
