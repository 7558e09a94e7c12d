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
            share/pixmaps/korvel.xpm share/pixmaps/lumaro.xpm share/doc/korvel-suite/USER_GUIDE.md \
            share/icons/hicolor/48x48/apps/korvel.png share/icons/hicolor/256x256/apps/lumaro.png \
            share/metainfo/org.korvelsuite.korvel.metainfo.xml share/man/man1/korvel.1.gz \
            bin/korvel-dvr-sim share/man/man1/korvel-alder-sim.1.gz; do
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
source "$(dirname "$0")/run_installed.sh"
echo "install_test: passed"
