#!/usr/bin/env bash
# After the end-to-end tests: none of the sound servers (or recorders) that
# they started is left running. Each carries the suite's ZOFTREL_E2E_SUITE
# in its environment.
# Usage: servers_left.sh   (with ZOFTREL_E2E_SUITE set)
set -euo pipefail
tag=ZOFTREL_E2E_SUITE=${ZOFTREL_E2E_SUITE:?}
left=0
for dir in /proc/[0-9]*; do
  comm=$(cat "$dir/comm" 2>/dev/null) || continue
  case $comm in
  pulseaudio | pipewire | pipewire-pulse | wireplumber | dbus-daemon | parec) ;;
  *) continue ;;
  esac
  if tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qxF "$tag"; then
    echo "left running: ${dir#/proc/} $(tr '\0' ' ' <"$dir/cmdline")"
    left=$((left + 1))
  fi
done
((left == 0)) || { echo "FAIL: $left sound servers of the tests are left running" >&2; exit 1; }
echo "no sound server of the tests is left"
