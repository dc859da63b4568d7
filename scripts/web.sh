#!/usr/bin/env bash
# Builds the browser version of Kestrel into build-web/: kestrel.html (from
# web/kestrel.html), kestrel.js, kestrel.wasm and kestrel.data (the show's
# data package). Installs Debian's emscripten and chromium when missing, and
# builds libjpeg-turbo and Dear ImGui for wasm from Debian's source packages
# once (kept in build-web/libs/). The native build (build/) provides the
# generated data and is built first when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-web
libs=$out/libs
jobs=$(nproc)

# ---- packages ---------------------------------------------------------------------
need=""
for p in emscripten chromium dpkg-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need="$need $p"
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
# apt-get source needs the archive's source lists next to its binary ones.
srcList=/etc/apt/sources.list.d/kestrel-web-src.sources
if [ ! -f "$srcList" ]; then
  printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
    $SUDO tee "$srcList" >/dev/null
  fresh=1
fi
if [ -n "$need" ] || [ -n "${fresh:-}" ]; then
  echo "installing:$need"
  $SUDO apt-get update -qq
  [ -n "$need" ] && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $need >/dev/null
fi

# Debian's emscripten 3.1.6: its acorn lives in Debian's node module folder,
# which this node does not search by itself.
export NODE_PATH=/usr/share/nodejs
export EM_CACHE=${EM_CACHE:-/usr/share/emscripten/cache}

# ---- libraries (built once) ----------------------------------------------------------
mkdir -p "$libs/src"
if [ ! -f "$libs/lib/libjpeg.a" ]; then
  echo "== libjpeg-turbo for wasm"
  (cd "$libs/src" && apt-get source -qq --download-only libjpeg-turbo >/dev/null 2>&1)
  rm -rf "$libs/src/jpeg" && mkdir -p "$libs/src/jpeg"
  tar -xzf "$libs/src"/libjpeg-turbo_*.orig.tar.gz -C "$libs/src/jpeg" --strip-components=1
  # Without SIZE_T and UNSIGNED_LONG, CMake's size checks guess a word size of 9 under emcmake.
  emcmake cmake -S "$libs/src/jpeg" -B "$libs/src/jpeg-build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$libs" -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DSIZE_T=4 -DUNSIGNED_LONG=4 >/dev/null
  cmake --build "$libs/src/jpeg-build" -j"$jobs" --target jpeg-static >/dev/null
  mkdir -p "$libs/lib" "$libs/include"
  cp "$libs/src/jpeg-build/libjpeg.a" "$libs/lib/"
  cp "$libs/src/jpeg-build/jconfig.h" "$libs/src/jpeg/jpeglib.h" "$libs/src/jpeg/jmorecfg.h" \
    "$libs/src/jpeg/jerror.h" "$libs/include/"
fi
if [ ! -f "$libs/lib/libimgui.a" ]; then
  echo "== Dear ImGui for wasm"
  (cd "$libs/src" && apt-get source -qq --download-only imgui >/dev/null 2>&1)
  rm -rf "$libs/src/imgui" && mkdir -p "$libs/src/imgui"
  tar -xJf "$libs/src"/imgui_*.orig.tar.xz -C "$libs/src/imgui" --strip-components=1
  mkdir -p "$libs/include/imgui/backends" "$libs/src/imgui-build"
  objs=()
  for f in imgui imgui_draw imgui_tables imgui_widgets backends/imgui_impl_opengl3 backends/imgui_impl_glfw; do
    o="$libs/src/imgui-build/$(basename $f).o"
    em++ -O2 -std=c++17 -I"$libs/src/imgui" -c "$libs/src/imgui/$f.cpp" -o "$o"
    objs+=("$o")
  done
  emar rcs "$libs/lib/libimgui.a" "${objs[@]}"
  cp "$libs/src/imgui"/*.h "$libs/include/imgui/"
  cp "$libs/src/imgui/backends"/imgui_impl_opengl3*.h "$libs/src/imgui/backends"/imgui_impl_glfw.h \
    "$libs/include/imgui/backends/"
fi
echo "libs ready"
