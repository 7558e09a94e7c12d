#!/usr/bin/env bash
# Runs scripts/demo without a display and checks what it shows.
#   demo_smoke_test.sh <source folder> <build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
folder=$(mktemp -d "${TMPDIR:-/tmp}/demo_smoke.XXXXXX")
trap 'rm -rf "$folder"' EXIT
fail() { echo "demo_smoke_test: $*" >&2; for log in "$folder"/logs/*; do echo "== $log"; tail -n 20 "$log"; done >&2; exit 1; }

# As on a headless server that exports the offscreen platform: the demo's virtual screen must
# still be the one the programs draw on.
env -u DISPLAY QT_QPA_PLATFORM=offscreen DEMO_DVR_ADDRESS=127.0.0.112 DEMO_ALDER_ADDRESS=127.0.0.113 \
  DEMO_CAMERA_ADDRESS=127.0.0.116 DEMO_LOCKED_CAMERA_ADDRESS=127.0.0.117 DEMO_SETTLE=8 \
  bash "$source_dir/scripts/demo" --no-build --build "$build_dir" --folder "$folder" \
  > "$folder/demo.out" 2>&1 || fail "scripts/demo failed: $(cat "$folder/demo.out")"
shots=$folder/screenshots
grep -q "$shots/korvel-live-2.png" "$folder/demo.out" || fail "screenshot paths not reported"

# Every capture-card channel was previewed, and nothing the demo started is left running.
for channel in 1 2 3 4; do
  grep -q "preview channel=$channel started" "$folder/logs/alder_sim.log" ||
    fail "capture-card channel $channel was never previewed"
done
if pgrep -f "$folder/" >/dev/null; then fail "processes of the demo still run: $(pgrep -af "$folder/")"; fi

# Statistics of one video window's picture area (x y of its top left corner, 160x100):
# prints the spread of its grey levels. A window without video is one flat colour.
spread() {
  ffmpeg -hide_banner -loglevel error -i "$1" -vf "crop=160:100:$2:$3,format=gray" \
    -f rawvideo - | python3 -c '
import sys, statistics
data = sys.stdin.buffer.read()
print(int(statistics.pstdev(data)))'
}
# Windows 1-8 of the 5x5 grid: columns at x 10, 179, 348, 517, 686; rows at y 32, 161.
cells=("10 32" "179 32" "348 32" "517 32" "686 32" "10 161" "179 161" "348 161")
for index in "${!cells[@]}"; do
  set -- ${cells[$index]}
  value=$(spread "$shots/korvel-live-2.png" "$1" "$2")
  ((value > 10)) || fail "window $((index + 1)) shows no picture (grey spread $value)"
done
# Page 2: the four network cameras show pictures too.
for index in 0 1 2 3; do
  set -- ${cells[$index]}
  value=$(spread "$shots/korvel-cameras.png" "$1" "$2")
  ((value > 10)) || fail "camera window $((index + 1)) of page 2 shows no picture (grey spread $value)"
done
# Window 9 was not connected: flat.
value=$(spread "$shots/korvel-live-2.png" 517 161)
((value <= 10)) || fail "window 9 should be empty (grey spread $value)"

# Moving pictures: the same window two seconds apart differs.
a=$(ffmpeg -hide_banner -loglevel error -i "$shots/korvel-live-1.png" -vf crop=672:258:10:32 -f rawvideo - | md5sum)
b=$(ffmpeg -hide_banner -loglevel error -i "$shots/korvel-live-2.png" -vf crop=672:258:10:32 -f rawvideo - | md5sum)
[[ $a != "$b" ]] || fail "the pictures did not change between two screenshots"

# The configuration the demo wrote loads in the client's own code with its eight cameras.
count=$("$build_dir/bin/korvel_cfg_gen" --print "$folder" | grep -c '^slot 1:')
((count == 8)) || fail "Korvel.cfg holds $count cameras on page 1, not 8"
count=$("$build_dir/bin/korvel_cfg_gen" --print "$folder" | grep -c '^slot 2:[0-9]*:4:')
((count == 4)) || fail "Korvel.cfg holds $count network cameras on page 2, not 4"

[[ -s $shots/lumaro.png ]] || fail "no screenshot of the playback program"
echo "demo_smoke_test: passed"
