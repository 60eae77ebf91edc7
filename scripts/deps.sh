#!/usr/bin/env bash
# Installs the Debian packages Zoftrel needs, if any are missing.
# Usage: scripts/deps.sh play|package|test
set -euo pipefail

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libsdl2-dev
  libpulse-dev libfluidsynth-dev timgm6mb-soundfont fonts-comic-neue fonts-dejavu-core libgtest-dev
  libbenchmark-dev libxcb1-dev libxcb-xkb-dev libsodium-dev libminiupnpc-dev libnatpmp-dev)
if [[ ${1:-play} == package || ${1:-play} == test ]]; then
  # cpack's dependency list: dpkg-shlibdeps, and file to find the programs.
  PACKAGES+=(dpkg-dev file)
fi
if [[ ${1:-play} == test ]]; then
  PACKAGES+=(xvfb xauth xdotool x11-xkb-utils imagemagick sox clang libclang-rt-14-dev llvm
    desktop-file-utils appstream lintian openbox x11-utils pulseaudio pulseaudio-utils
    pipewire pipewire-pulse wireplumber dbus
    miniupnpd-nftables miniupnpc nftables)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

SUDO=()
((EUID == 0)) || SUDO=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
# The home-router test starts its own miniupnpd with its own configuration;
# the package's service must not run beside it (nor at all on this machine).
if [[ " ${missing[*]} " == *" miniupnpd-nftables "* ]] && command -v systemctl >/dev/null; then
  "${SUDO[@]}" systemctl disable --now miniupnpd 2>/dev/null || true
fi
