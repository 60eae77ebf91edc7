#!/usr/bin/env bash
# Options that Qt programs usually take change nothing here: with -reverse,
# -geometry and -qwindowtitle the window has its title, place and size, and
# its status bars look exactly as without them.
# Usage: test_qt_options.sh RUN_DIR OUT_DIR
source "$(dirname "$0")/lib.sh"
on_screen 1280 1024 "$@"

# The bottom strip of the window: status bars and the Exit button, where
# no tank is ever drawn.
bottom_strip() {
  start_main "$@"
  sleep 0.3
  import -window root -crop "1020x50+130+822" +repage "$OUT/strip$#.png"
  kill "$APP_PID"
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=
}

bottom_strip
bottom_strip -reverse -geometry 300x200+0+0 -qwindowtitle Foo
differ=$(compare -metric AE "$OUT/strip0.png" "$OUT/strip5.png" null: 2>&1 || true)
[[ $differ == 0 ]] || fail "$differ pixels of the status bars differ under Qt's options"
echo "Qt options test passed"
