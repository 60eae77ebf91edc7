#!/usr/bin/env bash
# Two headless peers in lockstep through an impairing relay on loopback:
# whole games with the same state on both sides, the frames resting
# before each game (6 s before the first, past the 5 s of silence, on
# keep-alives through the same loss) and going on together, a cut line
# reported as a lost connection on both within 5 s, and a build mismatch
# refused on both. NET_GAMES sets the number of games (2 by default), NET_TICK_MS the
# frame length: the relay's delay and jitter scale with it from 100 ms of
# round trip and 20 ms of jitter at 50 ms.
# Usage: test_lockstep.sh LOCKSTEP_PEER UDP_RELAY
set -euo pipefail
PEER=$1
RELAY=$2
GAMES=${NET_GAMES:-2}
TICK=${NET_TICK_MS:-2}
# Seconds the games may take: about 5 s a game at 2 ms frames.
LIMIT=$((60 + GAMES * 10))
WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

wait_line() { # FILE PREFIX: the rest of the first line with PREFIX, within 5 s
  for _ in $(seq 100); do
    if grep -q "^$2 " "$1"; then sed -n "s/^$2 //p" "$1" | head -1; return; fi
    sleep 0.05
  done
  echo "no '$2' line in $1" >&2
  exit 1
}

# Starts a host and a relay to it; sets HOST_PID, RELAY_PID and JOIN_CODE
# (the host's secret, the relay's port on 127.0.0.1).
start_pair() { # NAME HOST_ARGS... -- RELAY_ARGS...
  local name=$1 hostargs=() relayargs=()
  shift
  while (($#)) && [[ $1 != -- ]]; do hostargs+=("$1"); shift; done
  shift
  relayargs=("$@")
  "$PEER" --host=0 "${hostargs[@]}" >"$WORK/$name.host" 2>"$WORK/$name.host.err" &
  HOST_PID=$!
  PIDS+=("$HOST_PID")
  local code port secret
  code=$(wait_line "$WORK/$name.host" code)
  secret=$(cut -d- -f2 <<<"$code")
  port=$(cut -d- -f3 <<<"$code")
  "$RELAY" --to="$port" --max-seconds=$((LIMIT + 20)) "${relayargs[@]}" >"$WORK/$name.relay" 2>/dev/null &
  RELAY_PID=$!
  PIDS+=("$RELAY_PID")
  JOIN_CODE="zt1-$secret-$(wait_line "$WORK/$name.relay" port)-127.0.0.1"
}

ms() { awk "BEGIN { printf \"%g\", $1 * $TICK / 50 }"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Whole games through 100 ms of round trip, 20 ms of jitter, 5 % loss,
# with some duplicates and reordering.
start_pair games --games="$GAMES" --tick-ms="$TICK" --max-seconds=$LIMIT --rest-ms=6000 -- \
  --delay="$(ms 50)" --jitter="$(ms 20)" --loss=0.05 --dup=0.02 --reorder=0.02 --seed=11
set +e
"$PEER" --join="$JOIN_CODE" --games="$GAMES" --tick-ms="$TICK" --seed=5 --max-seconds=$LIMIT \
  >"$WORK/games.join" 2>"$WORK/games.join.err"
join_rc=$?
wait "$HOST_PID"
host_rc=$?
set -e
kill "$RELAY_PID" 2>/dev/null || true
((host_rc == 0 && join_rc == 0)) || fail "games: host exit $host_rc, joiner exit $join_rc"
played=$(grep -c '^game ' "$WORK/games.host" || true)
((played == GAMES)) || fail "games: $played of $GAMES games ended"
cmp -s <(grep '^game ' "$WORK/games.host") <(grep '^game ' "$WORK/games.join") ||
  fail "games: the two sides' games differ"
rests() { sed -n 's/^stats .* rests \([0-9]*\)$/\1/p' "$1"; }
(($(rests "$WORK/games.host") >= GAMES && $(rests "$WORK/games.join") >= 1)) ||
  fail "games: the frames rested $(rests "$WORK/games.host") times on the host, $(rests "$WORK/games.join") on the joiner"
grep -h '^\(game\|stats\)' "$WORK/games.host" "$WORK/games.join"
cat "$WORK/games.host.err" "$WORK/games.join.err"

# The line goes dead mid-game: both say so within 5 s (and a little for
# the check itself), and neither hangs.
start_pair cut --games=1 --tick-ms=20 -- --delay=5 --cut-after=2 --seed=3
set +e
"$PEER" --join="$JOIN_CODE" --games=1 --tick-ms=20 --max-seconds=30 \
  >"$WORK/cut.join" 2>"$WORK/cut.join.err" &
JOIN_PID=$!
PIDS+=("$JOIN_PID")
start=$(date +%s.%N)
wait "$JOIN_PID"
join_rc=$?
join_s=$(awk "BEGIN { print $(date +%s.%N) - $start }")
wait "$HOST_PID"
host_rc=$?
host_s=$(awk "BEGIN { print $(date +%s.%N) - $start }")
set -e
((join_rc == 3 && host_rc == 3)) || fail "cut: host exit $host_rc, joiner exit $join_rc (3 wanted)"
# The cut comes 2 s after the relay starts; both ends must be done 5 s
# after it, with 1.5 s for the start and the check.
awk "BEGIN { exit !($join_s < 8.5 && $host_s < 8.5) }" ||
  fail "cut: took ${join_s}s and ${host_s}s"
grep -q 'Connection lost' "$WORK/cut.join.err" || fail "cut: the joiner did not say so"
grep -q 'Connection lost' "$WORK/cut.host.err" || fail "cut: the host did not say so"
echo "cut: joiner gone after ${join_s}s, host after ${host_s}s"

# Different builds: both refuse, and say why.
start_pair build --build=zoftrel-one -- --seed=1
set +e
"$PEER" --join="$JOIN_CODE" --build=zoftrel-two --max-seconds=20 >/dev/null 2>"$WORK/build.join.err"
join_rc=$?
wait "$HOST_PID"
host_rc=$?
set -e
((join_rc == 4 && host_rc == 4)) || fail "build: host exit $host_rc, joiner exit $join_rc (4 wanted)"
grep -q 'different build (zoftrel-one' "$WORK/build.join.err" || fail "build: joiner's message"
grep -q 'different build (zoftrel-two' "$WORK/build.host.err" || fail "build: host's message"
cat "$WORK/build.join.err" "$WORK/build.host.err"

((failures == 0)) && echo "lockstep: all passed"
exit $((failures > 0))
