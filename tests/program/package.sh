#!/usr/bin/env bash
# The Debian package: cpack builds it from this build directory with the
# version the program prints; unpacked with dpkg-deb -x it holds the program,
# the tools, the data, the manual pages, the desktop entry and the icon; the
# unpacked program finds its data beside itself and draws the same still as
# the build's; its manual page lists exactly the options of --help; its
# dependencies come from the binaries; lintian finds no error.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
# Its stills run on an X server of their own: their windows must not cover those
# of the tests that read their windows back from the shared display.
[ -n "${KESTREL_OWN_DISPLAY:-}" ] ||
  KESTREL_OWN_DISPLAY=1 exec xvfb-run -a -n 220 -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" bash "$0" "$@"
build=$(cd "$1" && pwd -P)
src=$(cd "$2" && pwd -P)
work=$(mktemp -d /tmp/kpkgXXXX)
trap 'rm -rf "$work"' EXIT
fail=0
complain() { echo "FAIL: $*"; fail=1; }
export SDL_AUDIODRIVER=dummy

version=$("$build/kestrel" --version | sed -n 's/^kestrel //p')
[ -n "$version" ] || { echo "FAIL: --version printed no version"; exit 1; }
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.txt 2>&1) ||
  { cat "$work/cpack.txt"; echo "FAIL: cpack exited $?"; exit 1; }
deb="$work/out/kestrel_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out"; echo "FAIL: no kestrel_${version}_amd64.deb"; exit 1; }
root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x exited $?"; exit 1; }

# ---- what it holds ----
for f in usr/bin/kestrel usr/bin/kestrel-gen usr/bin/kestrel-soundtrack usr/bin/kestrel-tracktool \
  usr/share/kestrel/data/barnstomp.mp3 usr/share/kestrel/data/sync_scene.track \
  usr/share/man/man1/kestrel.1.gz usr/share/applications/kestrel.desktop \
  usr/share/icons/hicolor/256x256/apps/kestrel.png usr/share/doc/kestrel/copyright; do
  [ -s "$root/$f" ] || complain "the package has no $f"
done
# every file of the build's data, each byte the same
(cd "$build/data" && find . -type f | sort) >"$work/data.build"
(cd "$root/usr/share/kestrel/data" && find . -type f | sort) >"$work/data.deb"
cmp -s "$work/data.build" "$work/data.deb" || complain "the package's data files are not the build's: $(diff "$work/data.build" "$work/data.deb" | head -3)"
while read -r f; do
  cmp -s "$build/data/$f" "$root/usr/share/kestrel/data/$f" || complain "data $f differs from the build's"
done <"$work/data.build"
[ "$(identify -format '%wx%h %[channels]' "$root/usr/share/icons/hicolor/256x256/apps/kestrel.png" 2>/dev/null)" = "256x256 srgba" ] ||
  complain "the icon is not a 256x256 picture with alpha"
grep -q '^Exec=kestrel$' "$root/usr/share/applications/kestrel.desktop" &&
  grep -q '^Icon=kestrel$' "$root/usr/share/applications/kestrel.desktop" || complain "the desktop entry does not start kestrel with its icon"

# ---- dependencies from the binaries, not from a list ----
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libglfw3 libsdl2-2.0-0 libmpg123-0 libopenmpt0 libjpeg62-turbo libglew libmp3lame0 libc6; do
  echo "$depends" | grep -q "\b$lib" || complain "Depends lacks $lib: $depends"
done
echo "$depends" | grep -q -- '-dev\b' && complain "Depends names a -dev package: $depends"

# ---- the unpacked program: its data beside itself, a still, --info ----
mkdir -p "$work/run" && cd "$work/run" || exit 1
info=$("$root/usr/bin/kestrel" --info 2>&1)
echo "$info" | grep -q "^data directory: $root/usr/share/kestrel/data/\?$" || complain "--info from the package: $info"
echo "$info" | grep -q "^show length: [0-9.]* s$" || complain "--info gave no show length: $info"
"$root/usr/bin/kestrel" --mode 320x180 --shot "20:$work/deb.png" --log deb.log >/dev/null 2>&1 || complain "the packaged still exited $?"
"$build/kestrel" --mode 320x180 --shot "20:$work/build.png" --data "$build/data" --log build.log >/dev/null 2>&1 ||
  complain "the build's still exited $?"
cmp -s "$work/deb.png" "$work/build.png" || complain "the packaged program's still differs from the build's"
"$root/usr/bin/kestrel-tracktool" at "$src/data/timeline.txt" 20 >"$work/at.txt" 2>&1 && grep -q "scene" "$work/at.txt" ||
  complain "the packaged kestrel-tracktool did not run: $(head -2 "$work/at.txt")"

# ---- the manual page against --help: the same options with the same values ----
"$root/usr/bin/kestrel" --help | sed -n 's/^  \(--[a-z-]*\)\( [^ ][^ ]*\)\? .*/\1\2/p' | sort >"$work/help.txt"
# The page's option tags (the line after each .TP), as troff sets them: .B
# one bold word, .BI/.BR alternating fonts with the words joined.
zcat "$root/usr/share/man/man1/kestrel.1.gz" | python3 -c '
import re, shlex, sys
lines = sys.stdin.read().split("\n")
for i, line in enumerate(lines[:-1]):
    if line.strip() != ".TP": continue
    macro, _, args = lines[i + 1].partition(" ")
    words = shlex.split(args.replace("\\", "\\\\"))
    text = " ".join(words) if macro == ".B" else "".join(words)
    text = re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-")
    if text.startswith("--"): print(text)
' | sort >"$work/man.txt"
LC_ALL=C man --warnings -l "$root/usr/share/man/man1/kestrel.1.gz" >/dev/null 2>"$work/man.err"
[ "$(wc -l <"$work/help.txt")" -ge 25 ] || complain "read only $(wc -l <"$work/help.txt") options from --help"
diff "$work/help.txt" "$work/man.txt" >"$work/man.diff" ||
  complain "manual page and --help differ (< only in --help, > only in the page): $(cat "$work/man.diff")"
[ -s "$work/man.err" ] && complain "man reports: $(cat "$work/man.err")"

# ---- lintian: no error ----
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || complain "lintian: $(grep '^E:' "$work/lintian.txt")"
else
  complain "lintian is not installed (scripts/deps.sh installs it)"
fi
exit $fail
