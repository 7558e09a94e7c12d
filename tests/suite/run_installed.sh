# Both programs started from an installed tree their user may not write.
#   source run_installed.sh     (with $prefix, $work, a `fail` function and a `pids` array set)
# Makes $prefix read-only and starts each program from $prefix/bin on a virtual screen with
# user folders of its own below $work. The programs must show their themed windows, put the
# drive table, their settings and the logs into the user's folders, end cleanly on SIGTERM and
# leave $prefix as installed. Used by the test of `cmake --install` and by the package test.
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
