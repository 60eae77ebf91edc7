#!/usr/bin/env bash
# Start-up time, idle CPU and resident memory of the real program under
# Xvfb. Start-up is measured from process start to the main window being
# mapped: one warm-up run, then the median of five.
# Usage: bench/startup.sh [RUN_DIR]   (default: build/bin)
source "$(dirname "$0")/../tests/e2e/lib.sh"
RUN_DIR=${1:-$(dirname "$0")/../build/bin}
cd "$RUN_DIR"
start_x 1280 1024
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Sets RUN_MS and APP_PID.
one_run() {
  local t0
  t0=$(now_ms)
  ./zoftrel >/dev/null 2>&1 &
  APP_PID=$!
  until xdotool search --onlyvisible --name '^Zoftrel$' >/dev/null 2>&1; do
    sleep 0.002
  done
  RUN_MS=$(($(now_ms) - t0))
}

times=()
for i in 0 1 2 3 4 5; do
  one_run
  if ((i > 0)); then times+=("$RUN_MS"); fi
  if ((i < 5)); then
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
  fi
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "start-up to window mapped (ms): $sorted-> median $median"

# Idle on the instruction screen: CPU over ten seconds, and memory.
sleep 1
ticks() { awk '{print $14 + $15}' "/proc/$APP_PID/stat"; }
c0=$(ticks)
sleep 10
c1=$(ticks)
hz=$(getconf CLK_TCK)
awk -v d=$((c1 - c0)) -v hz="$hz" 'BEGIN {printf "idle CPU: %.2f %% of one core\n", 100 * d / hz / 10}'
awk '/VmRSS/ {printf "resident memory: %.1f MB\n", $2 / 1024}' "/proc/$APP_PID/status"
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=
