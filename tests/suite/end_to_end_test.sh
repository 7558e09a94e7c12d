#!/usr/bin/env bash
# The suite end to end: the live client records from the simulated recorders, the playback
# program finds and plays what it recorded, and every file left on the drives is checked with
# outside tools.
#   end_to_end_test.sh <build folder>
# Both halves run in their own processes, one after the other, on one client folder and one
# drive table, as the two programs do.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/end_to_end.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "end_to_end_test: $*" >&2; exit 1; }

mkdir -p "$work/client" "$work/drives/C" "$work/drives/D"
for data in Setting.ini Teskline.tab Language UI_Skin; do
  [[ -e $build/bin/$data ]] && cp -rL "$build/bin/$data" "$work/client/"
done
export KORVEL_DRIVES="C=$work/drives/C;D=$work/drives/D" SUITE_E2E_FOLDER=$work SUITE_BUILD_DIR=$build
export QT_QPA_PLATFORM=offscreen KORVEL_AUDIO=null

"$build/tests/EndToEndKorvel_test" || fail "the live client's half failed"
[[ -s $work/client/Korvel.cfg ]] || fail "the live client did not save Korvel.cfg in its folder"
"$build/tests/EndToEndLumaro_test" || fail "the playback program's half failed"

# Every recording and snapshot is a file ffprobe reads with a picture stream in it.
probe() {
  local streams
  streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" 2>&1) || fail "ffprobe cannot read $1: $streams"
  grep -q video <<< "$streams" || fail "$1 holds no video stream"
}
avi=0 dvr=0 jpg=0
while IFS= read -r -d '' file; do
  case ${file,,} in
    *.avi) probe "$file"; avi=$((avi + 1)) ;;
    *.m4v) probe "$file"; dvr=$((dvr + 1)) ;;
    *.jpg) probe "$file"; jpg=$((jpg + 1)) ;;
  esac
done < <(find "$work/drives" -type f -print0)
((avi >= 2)) || fail "$avi capture files, expected the manual and the scheduled recording"
((dvr >= 1)) || fail "no recording of the network recorder's channel"
((jpg == 1)) || fail "$jpg snapshots, expected 1"

# Every entry of every index names a file that exists (a key is "<Windows path>\<seconds>").
python3 - "$work/drives" <<'PY' || fail "an index entry names a missing file"
import os, re, sys
drives = sys.argv[1]
entries = 0
for folder, _, files in os.walk(drives):
    for name in files:
        if not re.fullmatch(r"(?i)fileinfo\d*\.ini", name):
            continue
        section = None
        for raw in open(os.path.join(folder, name), "rb").read().split(b"\n"):
            line = raw.strip().decode("latin-1")
            if line.startswith("["):
                section = line.strip("[]").lower()
                continue
            if section != "fileinfo" or "=" not in line:
                continue
            key = line.split("=", 1)[0]
            path, seconds = key.rsplit("\\", 1)
            if not seconds.isdigit() or not re.match(r"[A-Za-z]:\\", path):
                sys.exit(f"malformed index entry {key!r} in {folder}/{name}")
            host = os.path.join(drives, path[0].upper(), *path[3:].split("\\"))
            if not os.path.isfile(host):
                sys.exit(f"{folder}/{name}: {key!r} names no file")
            entries += 1
if entries < 2:
    sys.exit(f"{entries} index entries, expected at least 2")
PY
echo "end_to_end_test: passed ($avi capture files, $dvr recorder files, $jpg snapshot)"
