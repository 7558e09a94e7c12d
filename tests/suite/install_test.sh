#!/usr/bin/env bash
# The suite installed under a prefix its user may not write.
#   install_test.sh <build folder>
# Installs into a temporary prefix, checks the layout (programs, links, libraries, data,
# desktop entries, icons), makes the prefix read-only and starts each program from it on a
# virtual screen with its own user folders. The programs must show their themed windows,
# put the drive table and the logs into the user's folders, and leave the prefix as installed.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/install_test.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; for log in "$work"/*.out; do [[ -e $log ]] && { echo "== $log"; tail -n 20 "$log"; }; done >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.out" 2>&1 || fail "cmake --install failed"

# --- The installed layout -------------------------------------------------------------------
program_folder=$prefix/lib/cctv-suite
for path in bin/korvel bin/lumaro bin/korvel-trace-viewer lib/cctv-suite/Korvel lib/cctv-suite/Lumaro \
            lib/cctv-suite/libplatform.so lib/cctv-suite/libHalvane.so lib/cctv-suite/libStordane.so \
            lib/cctv-suite/libPellix.so lib/cctv-suite/Setting.ini \
            lib/cctv-suite/Language/Korvel/Language.English lib/cctv-suite/Language/Lumaro/Language.Chinese \
            share/applications/korvel.desktop share/applications/lumaro.desktop \
            share/pixmaps/korvel.xpm share/pixmaps/lumaro.xpm share/doc/CctvSuite/USER_GUIDE.md; do
  [[ -e $prefix/$path ]] || fail "$path is not installed"
done
[[ -L $prefix/bin/korvel && $(readlink "$prefix/bin/korvel") != /* ]] || fail "bin/korvel is not a relative link"
ls "$program_folder"/UI_Skin/Korvel/*/*.jpg > /dev/null 2>&1 || fail "the live client's theme pictures are not installed"
grep -q '^Exec=korvel$' "$prefix/share/applications/korvel.desktop" || fail "korvel.desktop does not start korvel"
[[ ! -e $program_folder/Drives.ini ]] || fail "a drive table of the build was installed"
# Every program and library finds the suite's libraries in the tree itself.
for binary in "$program_folder"/Korvel "$program_folder"/Lumaro "$program_folder"/lib*.so; do
  if env -u LD_LIBRARY_PATH ldd "$binary" | grep -q "not found"; then
    fail "$(basename "$binary") misses libraries: $(env -u LD_LIBRARY_PATH ldd "$binary" | grep 'not found')"
  fi
done

# --- Run from the read-only prefix -----------------------------------------------------------
chmod -R a-w "$prefix"
listing() { find "$prefix" -printf '%P %s %T@ %m\n' | sort; }
listing > "$work/prefix-before"

mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
export QT_QPA_PLATFORM=xcb KORVEL_AUDIO=null
unset KORVEL_DRIVES STORDANE_DRIVES_INI
config=$XDG_CONFIG_HOME/korvel
data=$XDG_DATA_HOME/korvel

# Waits until `test` succeeds or `seconds` pass; fails when the program ends first.
wait_until() {
  local seconds=$1 pid=$2; shift 2
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
has_line() { grep -q "$2" "$1" 2>/dev/null; }

cat > "$work/run-programs.sh" <<'SH'
set -u
work=$1 prefix=$2
grab() { ffmpeg -hide_banner -loglevel error -y -f x11grab -video_size 1024x768 -i "$DISPLAY" -frames:v 1 "$1"; }
spread() {
  ffmpeg -hide_banner -loglevel error -i "$1" -vf format=gray -f rawvideo - |
    python3 -c 'import sys, statistics; print(int(statistics.pstdev(sys.stdin.buffer.read())))'
}
"$prefix/bin/korvel" > "$work/korvel.out" 2>&1 &
korvel=$!
echo "$korvel" > "$work/korvel.pid"
for ((i = 0; i < 300; i++)); do
  [[ -s $XDG_CONFIG_HOME/korvel/Drives.ini ]] && break
  kill -0 "$korvel" 2>/dev/null || break
  sleep 0.1
done
sleep 4
kill -0 "$korvel" 2>/dev/null && echo korvel-alive > "$work/korvel.state"
grab "$work/korvel.png"
spread "$work/korvel.png" > "$work/korvel.spread"
# Stopped as a session ends: the program leaves through its own exit and saves its settings.
touch "$work/korvel-stop"; sleep 1.1
kill -TERM "$korvel" 2>/dev/null; wait "$korvel" 2>/dev/null; echo $? > "$work/korvel.exit"

"$prefix/bin/lumaro" > "$work/lumaro.out" 2>&1 &
lumaro=$!
for ((i = 0; i < 300; i++)); do
  grep -q 'LUMARO' "$XDG_DATA_HOME/korvel/Lumaro.log" 2>/dev/null && break
  kill -0 "$lumaro" 2>/dev/null || break
  sleep 0.1
done
sleep 4
kill -0 "$lumaro" 2>/dev/null && echo lumaro-alive > "$work/lumaro.state"
grab "$work/lumaro.png"
spread "$work/lumaro.png" > "$work/lumaro.spread"
touch "$work/lumaro-stop"; sleep 1.1
kill -TERM "$lumaro" 2>/dev/null; wait "$lumaro" 2>/dev/null; echo $? > "$work/lumaro.exit"
exit 0
SH
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/run-programs.sh" "$work" "$prefix" &
pids+=($!)
wait "${pids[-1]}" || fail "the virtual screen run failed"

[[ -e $work/korvel.state ]] || fail "Korvel did not keep running from the read-only prefix"
[[ -e $work/lumaro.state ]] || fail "Lumaro did not keep running from the read-only prefix"
(( $(cat "$work/korvel.spread") > 10 )) || fail "Korvel's window is blank (no theme from the installed data?)"
(( $(cat "$work/lumaro.spread") > 10 )) || fail "Lumaro's window is blank (no theme from the installed data?)"

# The drive table was written for the user to find, naming folders that exist.
[[ -s $config/Drives.ini ]] || fail "no drive table in $config"
grep -q "^C=$data/C" "$config/Drives.ini" || fail "the drive table does not map C to $data/C: $(cat "$config/Drives.ini")"
grep -q "^D=$data/D" "$config/Drives.ini" || fail "the drive table does not map D to $data/D"
[[ -d $data/C && -d $data/D ]] || fail "the drive folders were not made"
[[ $(stat -c %a "$config") == 700 ]] || fail "$config is not owner-only"
# SIGTERM ended both programs through their own exit, which saved their settings.
[[ $(cat "$work/korvel.exit") == 0 ]] || fail "Korvel did not exit cleanly on SIGTERM (status $(cat "$work/korvel.exit"))"
[[ $(cat "$work/lumaro.exit") == 0 ]] || fail "Lumaro did not exit cleanly on SIGTERM (status $(cat "$work/lumaro.exit"))"
[[ $config/Korvel.cfg -nt $work/korvel-stop ]] || fail "Korvel did not save Korvel.cfg in $config"
[[ $config/Lumaro.ini -nt $work/lumaro-stop ]] || fail "Lumaro did not save Lumaro.ini in $config on its way out"
grep -q '^THEMENAME=' "$config/Lumaro.ini" || fail "Lumaro.ini in $config does not keep the theme"
# The playback program's trace log is in the data folder.
grep -q 'LUMARO' "$data/Lumaro.log" || fail "no Lumaro.log in $data"

listing > "$work/prefix-after"
diff -u "$work/prefix-before" "$work/prefix-after" > "$work/prefix.diff" || fail "the prefix changed: $(cat "$work/prefix.diff")"
echo "install_test: passed"
