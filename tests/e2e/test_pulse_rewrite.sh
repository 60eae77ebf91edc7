#!/usr/bin/env bash
# The program's own output on a real PulseAudio server rewrites what it has
# written ahead whenever a sound starts: the recording must hold a steady
# tone without a jump, a repeat or a gap, and every burst once. And
# whenever what is written ahead changes otherwise (a sound stopped or
# restarted, the music started or stopped): each such sequence of the probe
# must be heard as the probe renders it offline, its steps heard within
# 30 ms of each other from where they were made.
# Usage: test_pulse_rewrite.sh PROBE OUT_DIR
source "$(dirname "$0")/lib.sh"
PROBE=$1
OUT=$2
mkdir -p "$OUT"
start_pulse
RAW=$OUT/pulse-rewrite.raw
rm -f "$RAW"
# A recorder that asks for a long latency leaves the sink's own to the
# program.
parec -d out.monitor --format=float32le --rate=$RATE --channels=2 --raw --latency-msec=250 "$RAW" &
REC_PID=$!
for _ in $(seq 100); do
  awk -v s="$(seconds_recorded 2>/dev/null || echo 0)" 'BEGIN {exit !(s >= 0.3)}' && break
  sleep 0.05
done
"$PROBE" 3 >"$OUT/pulse-rewrite.log"
sleep 0.5
kill "$REC_PID"
wait "$REC_PID" 2>/dev/null || true
REC_PID=
cat "$OUT/pulse-rewrite.log"
grep -q '^output own$' "$OUT/pulse-rewrite.log" || fail "the probe did not use the own output"
read -r ticks rewrites < <(awk '/^ticks/ {print $2, $4}' "$OUT/pulse-rewrite.log")
((rewrites > 0)) || fail "no rewrite happened"

sox -t raw -r $RATE -e floating-point -b 32 -c 2 "$RAW" -t dat "$OUT/pulse-rewrite.dat" 2>/dev/null
# From 0.1 s after the tone starts to 0.3 s before it stops: the largest
# second difference of the left channel (the tone's own is 0.003, a burst
# adds 0.001; a frame out of step makes a jump near 0.03), and the bursts,
# counted as stretches of 5 ms blocks whose peak passes 0.42 (the tone
# alone reaches 0.3, with a burst 0.6).
read -r jump bursts < <(awk '!/^;/ {t[n] = $1; x[n++] = $2}
  END {
    for (a = 0; a < n && (x[a] < 0.05 && x[a] > -0.05); a++);
    for (b = a; b < n && quiet < 4410; b++) quiet = (x[b] < 0.05 && x[b] > -0.05) ? quiet + 1 : 0
    b -= quiet; quiet = 0
    a += 4410; b -= 13230; worst = 0; count = 0; on = 0; quiet = 0
    for (i = a + 1; i < b; i++) {
      d = x[i + 1] - 2 * x[i] + x[i - 1]; if (d < 0) d = -d
      if (d > worst) worst = d
    }
    for (i = a; i + 220 < b; i += 220) {
      peak = 0
      for (j = i; j < i + 220; j++) { v = x[j] < 0 ? -x[j] : x[j]; if (v > peak) peak = v }
      if (peak > 0.42) { if (!on) count++; on = 1; quiet = 0 }
      else if (++quiet >= 10) on = 0
    }
    printf "%.4f %d\n", worst, count
  }' "$OUT/pulse-rewrite.dat")
echo "largest second difference $jump, $bursts bursts for $ticks ticks, $rewrites rewrites"
awk -v j="$jump" 'BEGIN {exit !(j < 0.015)}' || fail "the recording jumps (second difference $jump)"
((bursts == ticks)) || fail "$bursts bursts recorded for $ticks ticks"
"$PROBE" check "$RAW" "$OUT/pulse-rewrite.log" || fail "a change of what was written ahead is heard wrong"
echo "pulse rewrite test passed"
