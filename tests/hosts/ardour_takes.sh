#!/usr/bin/env bash
# MIDI Sondrel in Ardour 7 (Debian's `ardour`), headless: ardour7-lua with the "None (Dummy)"
# back end, in a private home. For each format: a session whose MIDI track plays a region of
# known notes through the plug-in; saved, "Keep takes with the project" turned on in the saved
# state, then rolled from 0, looped over bars 1 to 3 into a third pass, located back while
# rolling, "Main Tab" set to 1, saved, and loaded again in a fresh process. The takes decoded
# from the state Ardour stored must hold what was played, one take per pass or locate; the
# plug-in's output (recorded on a second track) must be its input unchanged; the reloaded
# session must hold the same takes and show "Main Tab" at 1.
#
# Usage: ardour_takes.sh LV2_BUNDLE VST3_BUNDLE LV2_URI [FORMAT...]   (formats: LV2 VST3)
set -uo pipefail

readonly STEP_TIMEOUT=150
if [ $# -lt 3 ] || [ ! -d "$1" ] || [ ! -d "$2" ]; then
  echo "usage: $0 LV2_BUNDLE VST3_BUNDLE LV2_URI [FORMAT...]" >&2
  exit 2
fi
lv2=$(cd "$1" && pwd) vst3=$(cd "$2" && pwd) uri=$3
shift 3
formats=("${@:-LV2}")
[ $# -gt 0 ] || formats=(LV2 VST3)
here=$(cd "$(dirname "$0")" && pwd)
lua=$(command -v ardour7-lua) || { echo "FAIL: ardour7-lua not found (tools/install-deps.sh installs ardour)"; exit 1; }
python=/usr/bin/python3

work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-ardour.XXXXXX") || exit 2
[ -n "${SONDREL_KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
export HOME=$work/home
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME/.config/ardour7/scripts" "$work/lv2" "$work/vst3"
cp -a "$lv2" "$work/lv2/" && cp -a "$vst3" "$work/vst3/" || exit 2
export LV2_PATH=$work/lv2 VST3_PATH=$work/vst3
length=$("$python" "$here/ardour_takes.py" notes "$HOME/.config/ardour7/scripts") || exit 1
export SONDREL_LENGTH=$length

fail() { echo "FAIL: $*"; exit 1; }

step() { # FORMAT STEP
  local log=$work/$1-$2.log
  SONDREL_STEP=$2 timeout --foreground -k 10 "$STEP_TIMEOUT" "$lua" "$here/ardour_takes.lua" >"$log" 2>&1
  local status=$?
  grep '^RESULT ' "$log" | sed "s/^/  $1 $2: /"
  if [ $status -ne 0 ] || ! grep -q "^RESULT done=$2" "$log"; then
    echo "----- $1 $2 (status $status), last lines:"
    tail -n 25 "$log"
    fail "$1: Ardour's $2 step did not finish"
  fi
}

for format in "${formats[@]}"; do
  echo "=== $format"
  export SONDREL_FORMAT=$format SONDREL_SESSION=$work/session-$format
  if [ "$format" = VST3 ]; then
    # Ardour's headless start reads only the scan cache: scan the bundle first.
    scanner=$(sed -n 's/^export ARDOUR_DLL_PATH=//p' "$lua")/ardour-vst3-scanner
    ( eval "$(grep '^export' "$lua")"; timeout 120 "$scanner" -f "$work/vst3/$(basename "$vst3")" ) >"$work/scan.log" 2>&1
    SONDREL_PLUGIN=$(cat "$HOME"/.cache/ardour7/vst/*.v3i 2>/dev/null | sed -n 's/.*VST3Info uid="\([0-9A-F]*\)".*/\1/p' | head -n 1)
    [ -n "$SONDREL_PLUGIN" ] || { tail -n 20 "$work/scan.log"; fail "Ardour's VST3 scanner did not find the plug-in"; }
  else
    SONDREL_PLUGIN=$uri
  fi
  export SONDREL_PLUGIN
  snapshot=$SONDREL_SESSION/sondrel.ardour
  step "$format" create
  "$python" "$here/ardour_takes.py" loop "$snapshot" || fail "adding the loop range"
  "$python" "$here/ardour_takes.py" keep-takes "$snapshot" || fail "turning the option on in the saved state"
  step "$format" play
  step "$format" reload
  "$python" "$here/ardour_takes.py" check "$snapshot" "$SONDREL_SESSION/reloaded.ardour" || fail "$format: the takes"
  # Ardour 7.3 keeps an LV2 property's value on its own side only: after a reload its control
  # reads 0 whatever the plug-in restored and tells it (the reloaded state must hold 1).
  if [ "$format" = VST3 ]; then
    grep -q '^RESULT main_tab=1' "$work/$format-reload.log" || fail "$format: after reloading, Ardour does not show Main Tab at 1"
  fi
done
echo "PASS"
