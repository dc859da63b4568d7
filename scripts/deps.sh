#!/usr/bin/env bash
# Installs every Debian 12 package that building, playing and testing Kestrel needs.
# Idempotent: when everything is present it does not touch apt at all.
set -eu
pkgs="build-essential cmake pkg-config clang-14 libclang-rt-14-dev clang-format-14
libglfw3-dev libglew-dev libgl-dev libgl1-mesa-dri libjpeg62-turbo-dev libimgui-dev
libsdl2-dev libmpg123-dev libopenmpt-dev libmp3lame-dev libstb-dev
libgtest-dev fonts-dejavu-core xvfb xauth xdotool strace python3 locales glslang-tools x11-utils imagemagick ffmpeg apitrace
lintian man-db parallel rsync openssh-client"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
