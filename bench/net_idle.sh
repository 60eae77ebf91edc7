#!/usr/bin/env bash
# CPU and main-thread wake-ups of two real programs in a network game on
# loopback, each in an X server of its own: connected between games for
# SECONDS, then (NET_GAME=1) during a computer-against-computer game for
# SECONDS more. Prints each side's share of one core (from /proc/PID/stat,
# in clock ticks of 10 ms), its main thread's run time (which the
# scheduler counts in ns) and wake-ups a second (voluntary context
# switches).
# Usage: bench/net_idle.sh [RUN_DIR] [SECONDS]   (default: build/bin, 20)
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=${1:-$(dirname "$0")/../build/bin}
DURATION=${2:-20}
OUT=$(mktemp -d)
XVFB=()
PIDS=()
stop_bench() {
  for p in "${PIDS[@]}" "${XVFB[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$OUT"
}
trap stop_bench EXIT
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
cd "$RUN_DIR"
new_display RED
PORT=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM); s.bind(("::", 0)); print(s.getsockname()[1])')
DISPLAY=$RED ./zoftrel --host="$PORT" --red=hard >"$OUT/host.out" 2>"$OUT/host.err" &
PIDS+=($!)
for _ in $(seq 300); do
  grep -q '^zt1-' "$OUT/host.out" && break
  sleep 0.05
done
CODE=$(grep -m1 '^zt1-' "$OUT/host.out") || fail "the host printed no connect code"
new_display BLUE
DISPLAY=$BLUE ./zoftrel --join="$(cut -d- -f1-3 <<<"$CODE")-127.0.0.1" --blue=hard \
  >"$OUT/join.out" 2>"$OUT/join.err" &
PIDS+=($!)
DISPLAY=$BLUE wait_window Zoftrel >/dev/null
WIN=$(DISPLAY=$RED wait_window Zoftrel)
sleep 5

hz=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
wakes() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$1/task/$1/status"; }
runns() { awk '{ print $1 }' "/proc/$1/task/$1/schedstat"; }
measure() { # WHAT
  local t0=() w0=() r0=() t1 w1 r1 i
  for i in 0 1; do
    t0[i]=$(ticks "${PIDS[i]}") w0[i]=$(wakes "${PIDS[i]}") r0[i]=$(runns "${PIDS[i]}")
  done
  sleep "$DURATION"
  for i in 0 1; do
    kill -0 "${PIDS[i]}" 2>/dev/null || fail "a program ended: $(cat "$OUT"/*.err)"
    t1=$(ticks "${PIDS[i]}") w1=$(wakes "${PIDS[i]}") r1=$(runns "${PIDS[i]}")
    awk -v what="$1" -v side="$( ((i == 0)) && echo host || echo joiner)" -v t="$((t1 - t0[i]))" \
      -v w="$((w1 - w0[i]))" -v r="$((r1 - r0[i]))" -v hz="$hz" -v s="$DURATION" \
      'BEGIN { printf "%s, %s: %.2f %% of a core, main thread %.1f ms (%.3f %%) and %.1f wake-ups/s\n",
        what, side, 100 * t / hz / s, r / 1e6, r / 1e7 / s, w / s }'
  done
}
measure "connected, between games"
if [[ ${NET_GAME:-1} == 1 ]]; then
  DISPLAY=$RED xdotool windowfocus --sync "$WIN"
  DISPLAY=$RED xdotool key Return
  sleep 2
  measure "computer against computer"
fi
