#!/usr/bin/env bash
# A network game at the main loop's real pace through the impairing relay:
# 100 ms of round trip, 20 ms of jitter, 5 % loss. Prints each side's
# frames, late frames (a frame that waited more than 10 ms for the other
# side), bytes each way, the delay chosen and the measured round trip, and
# the CPU both peers used.
# Usage: bench/net_lockstep.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
BUILD=${1:-build}
SECONDS_RUN=${2:-120}
B=$BUILD/tests/net
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$B/lockstep_peer" --host=0 --games=1000 --max-seconds="$SECONDS_RUN" >"$WORK/h" 2>&1 &
H=$!
for _ in $(seq 100); do grep -q '^code' "$WORK/h" && break; sleep 0.05; done
CODE=$(sed -n 's/^code //p' "$WORK/h")
"$B/udp_relay" --to="$(cut -d- -f3 <<<"$CODE")" --delay=50 --jitter=20 --loss=0.05 --seed=9 \
  --max-seconds=$((SECONDS_RUN + 10)) >"$WORK/r" 2>/dev/null &
R=$!
for _ in $(seq 100); do grep -q '^port' "$WORK/r" && break; sleep 0.05; done
/usr/bin/time -f "joiner cpu %U+%S s" "$B/lockstep_peer" \
  --join="zt1-$(cut -d- -f2 <<<"$CODE")-$(sed -n 's/^port //p' "$WORK/r")-127.0.0.1" \
  --games=1000 --seed=5 --max-seconds="$SECONDS_RUN" >"$WORK/j" 2>&1 || true
wait "$H" || true
kill "$R" 2>/dev/null || true
grep -h '^\(game\|stats\|joiner\)' "$WORK/h" "$WORK/j"
awk '/^stats/ { for (i = 2; i < NF; i += 2) v[i] = $(i + 1);
  printf "side: %d frames, %d late (%.2f %%), %.0f B/s out, %.0f B/s in, delay %d, rtt %d ms\n",
    v[2], v[4], 100 * v[4] / v[2], v[6] / v[10], v[8] / v[10], v[12], v[14] }' "$WORK/h" "$WORK/j"
