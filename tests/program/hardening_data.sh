#!/usr/bin/env bash
# Hostile data, a representative subset (scripts/hostile_data.sh runs every
# file with every damage): one file of each kind the program reads is removed,
# emptied, cut or corrupted; the program still renders a still in every scene
# (or plays the show's last seconds, for the soundtrack) and must exit 0 with
# no sanitizer report and no GL error, name the file in the log, and load
# every other resource.
# Arguments: build directory, source directory. Needs a display (xvfb-run).
set -u
source "$2/tests/support/program.bash" "$1" "$2"
use_sanitizer_defaults
use_dummy_sound
read_show_timing
cases=(
  "env.vs missing"              # vertex stage of three shader rows
  "firehighlight.fs corrupt"    # fragment stage that then does not compile
  "jug.baf half"                # animated mesh loaded by three rows
  "label.jpg empty"             # JPEG in a mesh's second slot
  "jug_light.tga corrupt"       # TGA loaded by ten rows
  "sync_scene.track missing"    # the track that picks the scene
  "sync_var1.track short"       # a key cut in the middle
  "barnstomp.mp3 corrupt"       # the soundtrack, read only when the show plays
)
fail=0
for c in "${cases[@]}"; do
  # shellcheck disable=SC2086
  hostile_case $c || fail=1
done
exit $fail
