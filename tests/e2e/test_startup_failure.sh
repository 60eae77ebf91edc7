#!/usr/bin/env bash
# Without "BackgroundMusic.mid" in the current directory the program shows
# the "Application Error" box, never its main window, and exits with code 1
# once the box is closed: both when the directory lacks the file and when
# the file lies beside the program but the program is started elsewhere.
# Usage: test_startup_failure.sh RUN_DIR
source "$(dirname "$0")/lib.sh"
RUN_DIR=$(cd "$1" && pwd)

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
