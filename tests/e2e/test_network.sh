#!/usr/bin/env bash
# Two programs, each in an X server of its own, play one game over UDP on
# loopback: `--host=PORT --red=hard` and `--join=CODE --blue=hard`. The
# host presses Start game; both report the same game over, and their
# fields are the same pixel for pixel at the end. Then the joiner is
# killed: the host reports the lost connection.
# Usage: test_network.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$1
OUT=$2/network
mkdir -p "$OUT"
# The field on a 1280 x 1024 screen: the client area below the status line
# with the connect code, down to the buttons' row.
FIELD="1020x530+130+182"

XVFB=()
PIDS=()
stop_network() {
  for p in "${PIDS[@]}" "${XVFB[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_network EXIT
# A port nobody holds on this machine now.
PORT=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM); s.bind(("::", 0)); print(s.getsockname()[1])')
# On loopback there is no router to ask; nothing goes out to look for one.
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy ZOFTREL_PORT_MAPPING=0
cd "$RUN_DIR"
new_display RED

DISPLAY=$RED ./zoftrel --host="$PORT" --red=hard >"$OUT/host.out" 2>"$OUT/host.err" &
PIDS+=($!)
for _ in $(seq 100); do
  grep -q '^zt1-' "$OUT/host.out" && break
  sleep 0.05
done
CODE=$(grep -m1 '^zt1-' "$OUT/host.out") || fail "the host printed no connect code"
# The code names the machine's addresses; loopback reaches the same port.
CODE="$(cut -d- -f1-3 <<<"$CODE")-127.0.0.1"
new_display BLUE
DISPLAY=$BLUE ./zoftrel --join="$CODE" --blue=hard >"$OUT/join.out" 2>"$OUT/join.err" &
PIDS+=($!)
DISPLAY=$BLUE wait_window Zoftrel >/dev/null
WIN=$(DISPLAY=$RED wait_window Zoftrel)
sleep 2
# Start game on the host's side: Enter presses the focused button.
DISPLAY=$RED xdotool windowfocus --sync "$WIN"
DISPLAY=$RED xdotool key Return
deadline=$((SECONDS + 420))
while ((SECONDS < deadline)); do
  grep -q '^game over' "$OUT/host.out" && grep -q '^game over' "$OUT/join.out" && break
  kill -0 "${PIDS[0]}" 2>/dev/null && kill -0 "${PIDS[1]}" 2>/dev/null ||
    fail "a program ended: $(cat "$OUT/host.err" "$OUT/join.err")"
  sleep 1
done
grep '^game over' "$OUT/host.out" || fail "no game over within 7 minutes: $(cat "$OUT/host.err")"
grep '^game over' "$OUT/join.out" || fail "the joiner saw no game over"
cmp -s <(grep '^game over' "$OUT/host.out") <(grep '^game over' "$OUT/join.out") ||
  fail "the two sides' games ended differently"
sleep 1
DISPLAY=$RED screenshot "$OUT/red.png"
DISPLAY=$BLUE screenshot "$OUT/blue.png"
differ=$(compare -metric AE "$OUT/red.png[$FIELD]" "$OUT/blue.png[$FIELD]" null: 2>&1 || true)
[[ $differ == 0 ]] || fail "the fields differ in $differ pixels ($OUT/red.png, $OUT/blue.png)"
# The joiner goes away without a word: within 5 s the host says that the
# connection is lost, and goes on running.
kill -KILL "${PIDS[1]}"
gone=$SECONDS
until grep -q 'Connection lost' "$OUT/host.err"; do
  ((SECONDS - gone <= 7)) || fail "the host did not notice the lost connection: $(cat "$OUT/host.err")"
  sleep 0.2
done
echo "the host noticed after $((SECONDS - gone)) s"
sleep 0.5
kill -0 "${PIDS[0]}" 2>/dev/null || fail "the host ended"
echo "network test passed"
