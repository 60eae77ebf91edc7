#!/usr/bin/env bash
# The program's options, checked with no display at all: a faulty or
# repeated --red/--blue ends it with code 2 and one line on standard error,
# and --help and --version answer with code 0, all before the program
# reaches for a window (which would fail here).
# Usage: test_options.sh RUN_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$(cd "$1" && pwd)
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
cd "$RUN_DIR"

# run ARGS...: sets rc, and out and err to what the program wrote.
run() {
  set +e
  timeout 10 ./zoftrel "$@" >"$OUT/out" 2>"$OUT/err"
  rc=$?
  set -e
  out=$(cat "$OUT/out")
  err=$(cat "$OUT/err")
}

for args in "--red=Hard" "--blue=" "--red" "--blue=medium" "--red=easy --red=easy" \
  "debug --blue=hard --red=normal --blue=easy"; do
  # shellcheck disable=SC2086
  run $args
  ((rc == 2)) || fail "zoftrel $args: exit code $rc, expected 2 ($err)"
  [[ $(wc -l <"$OUT/err") == 1 ]] || fail "zoftrel $args: not one line on stderr: $err"
  [[ $err == *"easy, normal, hard"* ]] || fail "zoftrel $args: the levels are not named: $err"
  [[ -z $out ]] || fail "zoftrel $args wrote to stdout: $out"
done

run --help
((rc == 0)) || fail "--help: exit code $rc"
[[ $out == "Usage: zoftrel [debug] [--red=LEVEL] [--blue=LEVEL]"* ]] || fail "--help: $out"
run --version
((rc == 0)) || fail "--version: exit code $rc"
[[ $out == "Zoftrel version 1.0" ]] || fail "--version: $out"
echo "options test passed"
