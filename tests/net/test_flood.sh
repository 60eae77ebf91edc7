#!/usr/bin/env bash
# A network game that a third machine floods with junk: three network
# namespaces (host, joiner, stranger) on one bridge of a fourth, all made
# here with veth pairs. During a game of two headless peers the stranger
# sends junk to the host's port at FLOOD_RATE datagrams a second (2000 by
# default) for 10 s from its own address, then for 10 s from 50 addresses
# at once; then for 5 s it sends every datagram of the joiner it sees on
# the bridge to the host again under the joiner's own address, once as it
# was and once with a bit changed. The game must go on: no side reports a
# lost connection or games gone apart, and fewer than 5 % of the host's
# ticks run more than 10 ms late. Prints the host's CPU time over each
# flood. Exits 77 (skipped) where namespaces
# cannot be made.
# Usage: test_flood.sh LOCKSTEP_PEER UDP_FLOOD
set -euo pipefail
PEER=$1
FLOOD=$2
RATE=${FLOOD_RATE:-2000}
NS=zt$$
WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for n in h j s br; do ip netns del "$NS$n" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

if ! ip netns add "${NS}br" 2>/dev/null; then
  echo "SKIP: cannot make network namespaces here"
  exit 77
fi
ip -n "${NS}br" link add lan type bridge
ip -n "${NS}br" link set lan up
i=1
for n in h j s; do
  ip netns add "$NS$n"
  ip link add "$NS$n" netns "${NS}br" type veth peer name eth0 netns "$NS$n"
  ip -n "${NS}br" link set "$NS$n" master lan up
  ip -n "$NS$n" addr add "10.77.0.$i/16" dev eth0
  ip -n "$NS$n" link set eth0 up
  ip -n "$NS$n" link set lo up
  i=$((i + 1))
done
# The stranger's 50 more addresses.
FROM=()
for k in $(seq 50); do
  ip -n "${NS}s" addr add "10.77.1.$k/16" dev eth0
  FROM+=("10.77.1.$k")
done

# Long enough for the two floods and the replays: the peers stop after
# 38 s whatever the games; out of time (7) or the other one gone first (6)
# is a good end.
ip netns exec "${NS}h" "$PEER" --host=40000 --games=100 --max-seconds=38 \
  >"$WORK/host" 2>"$WORK/host.err" &
HOST=$!
PIDS+=("$HOST")
for _ in $(seq 100); do
  grep -q '^code ' "$WORK/host" && break
  sleep 0.05
done
code=$(sed -n 's/^code //p' "$WORK/host" | head -1)
[[ -n $code ]] || { echo "FAIL: the host printed no code"; exit 1; }
ip netns exec "${NS}j" "$PEER" --join="$(cut -d- -f1-3 <<<"$code")-10.77.0.1" --games=100 \
  --max-seconds=46 --seed=5 >"$WORK/join" 2>"$WORK/join.err" &
JOIN=$!
PIDS+=("$JOIN")
sleep 2

# The host's user and system time in clock ticks; 0 once it is gone.
cpu() { awk '{ print $14 + $15 }' "/proc/$HOST/stat" 2>/dev/null || echo 0; }
ticks=$(getconf CLK_TCK)
c0=$(cpu)
ip netns exec "${NS}s" "$FLOOD" --to=10.77.0.1:40000 --rate="$RATE" --seconds=10 >/dev/null
c1=$(cpu)
ip netns exec "${NS}s" "$FLOOD" --to=10.77.0.1:40000 --rate="$RATE" --seconds=10 \
  --from="$(IFS=,; echo "${FROM[*]}")" >/dev/null
c2=$(cpu)
echo "host CPU at $RATE junk datagrams/s: one source $(awk "BEGIN { printf \"%.1f\", ($c1 - $c0) * 10 / $ticks }") %," \
  "50 sources $(awk "BEGIN { printf \"%.1f\", ($c2 - $c1) * 10 / $ticks }") % of a core"
# The joiner's own datagrams again, from the stranger's port on the bridge.
replayed=$(ip netns exec "${NS}s" "$FLOOD" --to=10.77.0.1:40000 --seconds=5 \
  --replay="${NS}br:${NS}j" | sed -n 's/^sent //p')
echo "replayed $replayed of the joiner's datagrams, half of them with a bit changed"

set +e
wait "$HOST"
host_rc=$?
wait "$JOIN"
join_rc=$?
set -e
grep -h '^stats' "$WORK/host" "$WORK/join"
cat "$WORK/host.err" "$WORK/join.err"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[[ $host_rc == 7 || $host_rc == 6 ]] || fail "host exit $host_rc"
[[ $join_rc == 7 || $join_rc == 6 ]] || fail "joiner exit $join_rc"
! grep -q 'Connection lost' "$WORK/host.err" "$WORK/join.err" || fail "a side lost the connection"
! grep -q 'went apart' "$WORK/host.err" "$WORK/join.err" || fail "the games went apart"
read -r frames late < <(sed -n 's/^stats frames \([0-9]*\) late \([0-9]*\) .*/\1 \2/p' "$WORK/host")
((${replayed:-0} > 100)) || fail "only ${replayed:-0} of the joiner's datagrams were replayed"
((frames > 500)) || fail "the host ran only $frames frames"
((late * 20 < frames)) || fail "$late of the host's $frames frames were more than 10 ms late"
((failures == 0)) && echo "flood: all passed"
exit $((failures > 0))
