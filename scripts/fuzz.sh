#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a few seconds on its corpus.
# Usage: scripts/fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$1
SECONDS_EACH=$2
shopt -s nullglob
targets=("$BUILD"/tests/fuzz/fuzz_*)
((${#targets[@]})) || { echo "no fuzz targets in $BUILD" >&2; exit 1; }
passed=0
for t in "${targets[@]}"; do
  [[ -x $t && -f $t ]] || continue
  name=$(basename "$t")
  corpus=tests/fuzz/${name#fuzz_}_corpus
  work=$(mktemp -d)
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzzing $name for ${SECONDS_EACH}s"
  "$t" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
    "$work" >"$BUILD/$name.log" 2>&1 || { tail -40 "$BUILD/$name.log"; exit 1; }
  rm -rf "$work"
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, 0 failed"
