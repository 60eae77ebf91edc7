#!/usr/bin/env bash
# Without "BackgroundMusic.mid" in the current directory the program shows
# the "Application Error" box, never its main window, and exits with code 1
# once the box is closed: both when the directory lacks the file and when
# the file lies beside the program but the program is started elsewhere.
# Without any display at all it says so in one line and exits with code 1.
# Usage: test_startup_failure.sh RUN_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$(cd "$1" && pwd)

# Without any display: one line on standard error, exit code 1.
set +e
err=$(cd "$RUN_DIR" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM SDL_AUDIODRIVER=dummy \
  timeout 10 ./zoftrel 2>&1 >/dev/null)
rc=$?
set -e
((rc == 1)) || fail "without a display: exit code $rc, expected 1"
[[ $(wc -l <<<"$err") == 1 && $err == *DISPLAY* ]] || fail "without a display it said: $err"

start_x 1280 1024
WORK=$(mktemp -d)
trap 'stop_all; rm -rf "$WORK"' EXIT

expect_failure() {
  local box
  SDL_AUDIODRIVER=dummy "$1" &
  APP_PID=$!
  box=$(wait_window "Application Error")
  xdotool search --onlyvisible --name '^Zoftrel$' >/dev/null 2>&1 && fail "the main window is shown"
  key_to "$box" Return
  expect_exit "$APP_PID" 1
}

# The program alone in a directory.
mkdir "$WORK/alone"
cp "$RUN_DIR/zoftrel" "$WORK/alone/"
cd "$WORK/alone"
expect_failure ./zoftrel

# The file beside the program, the current directory elsewhere.
[[ -f $RUN_DIR/BackgroundMusic.mid ]] || fail "the build did not place the music"
cd "$WORK"
expect_failure "$RUN_DIR/zoftrel"
echo "start-up failure test passed"
