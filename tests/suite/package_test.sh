#!/usr/bin/env bash
# The Debian packages of the suite, made from the build and unpacked into a scratch root.
#   package_test.sh <build folder> <project version> [<cpack>]
# Makes both packages with CPack into a scratch folder (as scripts/package does), checks their
# names, control fields and contents (the two packages share no file, the desktop entries,
# icons, descriptions and manual pages are complete and valid, the binaries are stripped), runs
# lintian when installed, then unpacks them with dpkg-deb -x and starts both programs from the
# unpacked /usr on a virtual screen: their files must go to the user's folders, as with
# `cmake --install`. Exits 77 (skipped) when a packaging tool is missing.
set -euo pipefail
build=$1
version=$2
cpack=${3:-cpack}
for tool in "$cpack" dpkg-deb dpkg-shlibdeps xvfb-run ffmpeg python3; do
  command -v "$tool" > /dev/null || { echo "package_test: $tool is not installed; skipped"; exit 77; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/package_test.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package_test: $*" >&2; for log in "$work"/*.out; do [[ -e $log ]] && { echo "== $log"; tail -n 20 "$log"; }; done >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/packages" > "$work/cpack.out" 2>&1 || fail "cpack failed"
suite=$work/packages/korvel-suite_${version}_amd64.deb
simulators=$work/packages/korvel-suite-simulators_${version}_amd64.deb
[[ -f $suite ]] || fail "no $(basename "$suite"): $(ls "$work/packages")"
[[ -f $simulators ]] || fail "no $(basename "$simulators"): $(ls "$work/packages")"

# --- Control fields -------------------------------------------------------------------------
field() { dpkg-deb -f "$1" "$2"; }
[[ $(field "$suite" Package) == korvel-suite ]] || fail "package name $(field "$suite" Package)"
[[ $(field "$suite" Version) == "$version" ]] || fail "version $(field "$suite" Version), not $version"
[[ $(field "$simulators" Version) == "$version" ]] || fail "simulators' version $(field "$simulators" Version)"
depends=$(field "$suite" Depends)
# Named by hand (loaded by name, or needed by the language files) and found from the binaries.
for package in libxvidcore4 fonts-wqy-microhei libqt6widgets6 libavcodec libc6; do
  [[ ", $depends" == *", $package"* ]] || fail "Depends lacks $package: $depends"
done
[[ $(field "$simulators" Depends) == *libavcodec* ]] || fail "the simulators' Depends lacks libavcodec"
if [[ -x $build/bin/camera_sim ]]; then
  # The camera's GStreamer elements are loaded by name: the encoders come from these.
  for package in libgstrtspserver gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly; do
    [[ $(field "$simulators" Depends) == *$package* ]] || fail "the simulators' Depends lacks $package"
  done
fi

# --- Contents -------------------------------------------------------------------------------
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $6 }' | sort; }
files "$suite" > "$work/suite.files"
files "$simulators" > "$work/simulators.files"
shared=$(comm -12 "$work/suite.files" "$work/simulators.files")
[[ -z $shared ]] || fail "both packages hold (dpkg would refuse the second): $shared"
grep -q '_sim$' "$work/suite.files" && fail "the simulators are in the main package"
for path in ./usr/lib/cctv-suite/dvr_sim ./usr/lib/cctv-suite/alder_sim ./usr/bin/korvel-dvr-sim \
            ./usr/bin/korvel-alder-sim ./usr/share/doc/korvel-suite-simulators/copyright \
            $([[ -x $build/bin/camera_sim ]] && echo ./usr/bin/korvel-camera-sim) \
            $([[ -x $build/bin/onvif_sim ]] && echo ./usr/bin/korvel-onvif-sim ./usr/share/man/man1/korvel-onvif-sim.1.gz); do
  grep -qx "$path" "$work/simulators.files" || fail "$path is not in the simulators' package"
done

root=$work/root
dpkg-deb -x "$suite" "$root"
dpkg-deb -x "$simulators" "$root"
usr=$root/usr
for binary in "$usr"/lib/cctv-suite/*; do
  [[ -f $binary && ! -L $binary ]] || continue
  if python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read(4) != b"\x7fELF")' "$binary" &&
     LC_ALL=C readelf -S "$binary" | grep -q '\.debug_info'; then
    fail "$(basename "$binary") is not stripped"
  fi
done
for doc in korvel-suite korvel-suite-simulators; do
  [[ -s $usr/share/doc/$doc/copyright && -s $usr/share/doc/$doc/changelog.gz ]] ||
    fail "$doc has no copyright or changelog"
  zcat "$usr/share/doc/$doc/changelog.gz" | head -n 1 | grep -q "($version)" ||
    fail "$doc's changelog does not name $version"
done

# Every command has its manual page, made from the command's own --help and --version.
for command in "$usr"/bin/*; do
  name=$(basename "$command")
  page=$usr/share/man/man1/$name.1.gz
  [[ -s $page ]] || fail "no manual page for $name"
  zcat "$page" | grep -q "^\.TH \"\?${name^^}" || fail "the manual page of $name is titled otherwise"
  zcat "$page" | grep -q -F -- '\-\-version' || fail "the manual page of $name lists no options"
  zcat "$page" | grep -q "korvel-suite $version" || fail "the manual page of $name names another version"
  [[ $("$command" --version) == "$name (korvel-suite) $version" ]] ||
    fail "$name --version says $("$command" --version)"
done

# Desktop entries start installed commands and name icons present at every size, as PNG.
for desktop in "$usr"/share/applications/*.desktop; do
  name=$(basename "$desktop" .desktop)
  if command -v desktop-file-validate > /dev/null; then
    desktop-file-validate "$desktop" > "$work/desktop.out" 2>&1 || fail "$(cat "$work/desktop.out")"
  fi
  exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [[ -x $usr/bin/$exec ]] || fail "$name.desktop starts $exec, which is not installed"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for size in 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [[ -f $png ]] || fail "no ${size}px icon for $name"
    [[ $(python3 -c 'import struct, sys
data = open(sys.argv[1], "rb").read(24)
print("%dx%d" % struct.unpack(">II", data[16:24]) if data[:8] == b"\x89PNG\r\n\x1a\n" else "not PNG")' "$png") == "${size}x${size}" ]] ||
      fail "$png is not a ${size}x${size} PNG"
  done
  # One software-centre description per program, launching this entry.
  metainfo=$(grep -l "<launchable type=\"desktop-id\">$name.desktop</launchable>" "$usr"/share/metainfo/*.xml || true)
  [[ -n $metainfo ]] || fail "no description launches $name.desktop"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "$(basename "$metainfo") names another release"
  if command -v appstreamcli > /dev/null; then
    appstreamcli validate --no-net "$metainfo" > "$work/appstream.out" 2>&1 || fail "$(cat "$work/appstream.out")"
  fi
done
[[ $(ls "$usr"/share/applications/*.desktop | wc -l) == 2 ]] || fail "not two desktop entries"

if command -v lintian > /dev/null; then
  lintian --fail-on error "$suite" "$simulators" > "$work/lintian.out" 2>&1 ||
    fail "lintian finds errors: $(grep '^E:' "$work/lintian.out")"
fi

# --- Run from the unpacked tree -------------------------------------------------------------
prefix=$usr
source "$(dirname "$0")/run_installed.sh"
echo "package_test: passed"
