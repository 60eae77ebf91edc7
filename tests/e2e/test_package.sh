#!/usr/bin/env bash
# The Debian package: it builds with the expected name and control fields,
# lintian, desktop-file-validate and appstreamcli find no errors, and the
# program unpacked from it starts the way its menu entry says (its Exec, in
# its Path) under X with a Wayland-like session around it, as do its two
# actions against the computer, and refuses to start from any other
# directory.
# Usage: test_package.sh BUILD_DIR [CPACK]
source "$(dirname "$0")/lib.sh"
BUILD=$(cd "$1" && pwd)
CPACK=${2:-cpack}
WORK=$(mktemp -d)
trap 'stop_all; rm -rf "$WORK"' EXIT

# Into a directory of its own, so the build's own package is left alone.
"$CPACK" --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; fail "cpack failed"; }
DEB=$WORK/pkg/zoftrel_1.0.0_$(dpkg --print-architecture).deb
[[ -f $DEB ]] || fail "no $(basename "$DEB"): $(ls "$WORK/pkg")"
echo "package: $(basename "$DEB"), $(stat -c %s "$DEB") bytes"

field() { dpkg-deb -f "$DEB" "$1"; }
[[ $(field Package) == zoftrel ]] || fail "package name $(field Package)"
[[ $(field Section) == games ]] || fail "section $(field Section)"
[[ -n $(field Maintainer) ]] || fail "no maintainer"
(($(field Description | wc -l) > 3)) || fail "no long description"
# Named by hand, and found in the program by dpkg-shlibdeps.
DEPENDS=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
for dep in timgm6mb-soundfont fonts-comic-neue fonts-dejavu-core qt6-qpa-plugins libqt6widgets6 \
  libsdl2-2.0-0 libfluidsynth3; do
  grep -qx "$dep" <<<"$DEPENDS" || fail "no dependency on $dep: $(field Depends)"
done

echo "== lintian"
set +e
lintian --fail-on error --display-info "$DEB" >"$WORK/lintian.log" 2>&1
rc=$?
set -e
# (CI runs as root, which lintian only mentions.)
grep -v 'running with root privileges' "$WORK/lintian.log" || true
((rc == 0)) || fail "lintian exit code $rc"
! grep -q '^E:' "$WORK/lintian.log" || fail "lintian found errors"

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
ENTRY=$ROOT/usr/share/applications/org.example.Zoftrel.desktop
META=$ROOT/usr/share/metainfo/org.example.Zoftrel.metainfo.xml
echo "== desktop-file-validate"
desktop-file-validate "$ENTRY" || fail "desktop-file-validate"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$META" || fail "appstreamcli validate"

for f in usr/bin/zoftrel usr/share/zoftrel/BackgroundMusic.mid usr/share/man/man6/zoftrel.6.gz \
  usr/share/doc/zoftrel/copyright usr/share/doc/zoftrel/changelog.gz \
  usr/share/icons/hicolor/scalable/apps/zoftrel.svg; do
  [[ -s $ROOT/$f ]] || fail "$f is not in the package"
done
for size in 16 32 48 128; do
  icon=$ROOT/usr/share/icons/hicolor/${size}x$size/apps/zoftrel.png
  [[ $(identify -format %wx%h "$icon") == "${size}x$size" ]] || fail "icon $icon"
done

# What the menu entry runs and where.
key() { sed -n "/^\[Desktop Entry\]/,/^\[/s/^$1=//p" "$ENTRY" | head -n1; }
EXEC=$(key Exec)
RUN_PATH=$(key Path)
[[ $(key Icon) == zoftrel ]] || fail "Icon=$(key Icon)"
[[ $RUN_PATH == /usr/share/zoftrel ]] || fail "Path=$RUN_PATH"
[[ -f $ROOT$RUN_PATH/BackgroundMusic.mid ]] || fail "the tune is not in the entry's Path"
read -r -a COMMAND <<<"${EXEC//%[fFuUdDnNickvm]/}"
# The package is not installed: its programs are found in the unpacked tree.
export PATH=$ROOT/usr/bin:$PATH
[[ $(command -v "${COMMAND[0]}") == "$ROOT"/* ]] || fail "Exec=$EXEC is not the packaged program"

start_x 1280 1024
trap 'stop_all; rm -rf "$WORK"' EXIT
# As a desktop session under Wayland would start it: the program itself
# chooses X11 (XWayland), which Xvfb stands in for here.
unset QT_QPA_PLATFORM
export WAYLAND_DISPLAY=zoftrel-test-no-such-display XDG_SESSION_TYPE=wayland
export SDL_AUDIODRIVER=dummy

echo "== started from the menu entry"
cd "$ROOT$RUN_PATH"
QT_LOGGING_RULES=qt.qpa.plugin=true "${COMMAND[@]}" 2>"$WORK/qt.log" &
APP_PID=$!
wait_window Zoftrel 20 >/dev/null
grep -q 'init_platform called with pluginNamesWithArguments "xcb"' "$WORK/qt.log" ||
  fail "the program did not ask for X11: $(grep init_platform "$WORK/qt.log")"
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=

# Its actions start the same program with options it takes: a window,
# not the exit code 2 of a faulty option.
for action in PlayComputer WatchComputer; do
  echo "== started from the action $action"
  ACTION_EXEC=$(sed -n "/^\[Desktop Action $action\]/,/^\[/s/^Exec=//p" "$ENTRY" | head -n1)
  read -r -a ACTION <<<"$ACTION_EXEC"
  [[ ${ACTION[0]} == "${COMMAND[0]}" && ${#ACTION[@]} -gt 1 ]] || fail "$action: Exec=$ACTION_EXEC"
  "${ACTION[@]}" &
  APP_PID=$!
  wait_window Zoftrel 20 >/dev/null
  kill "$APP_PID"
  wait "$APP_PID" 2>/dev/null || true
  APP_PID=
done

echo "== started elsewhere"
mkdir "$WORK/elsewhere"
cd "$WORK/elsewhere"
"${COMMAND[@]}" &
APP_PID=$!
BOX=$(wait_window "Application Error" 20)
xdotool search --onlyvisible --name '^Zoftrel$' >/dev/null 2>&1 && fail "the main window is shown"
key_to "$BOX" Return
expect_exit "$APP_PID" 1
echo "package test passed"
