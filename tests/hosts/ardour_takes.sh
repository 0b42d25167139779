#!/usr/bin/env bash
# MIDI Sondrel in Ardour 7 headless (ardour7-lua, "None (Dummy)" back end, a private home). For
# each format and each song of host_takes.py ("changes": tempo changes on a bar line and inside a
# bar, a locate and a loop; "waltz": 3/4 with a change inside a bar): a session whose MIDI track
# plays a region of the song's notes through the plug-in; saved, "Keep takes with the project"
# turned on in its state, played as the song says, "Main Tab" set to 1, saved, and loaded again
# in a fresh process. The takes in the state: one per roll, locate or loop pass, every note within
# half a tick of where it was played; the plug-in's output (recorded on a second track) is its
# input; the LV2's track has no audio outputs; the reloaded session has the same takes and "Main
# Tab" at 1. With --old FIXTURE: a session of an earlier build (FIXTURE/FORMAT) opens with this
# build's plug-in in place, its page and takes back.
# Usage: ardour_takes.sh LV2_BUNDLE VST3_BUNDLE LV2_URI [--old FIXTURE] [FORMAT...]   (formats: LV2 VST3)
set -uo pipefail

readonly STEP_TIMEOUT=150
if [ $# -lt 3 ] || [ ! -d "$1" ] || [ ! -d "$2" ]; then
  echo "usage: $0 LV2_BUNDLE VST3_BUNDLE LV2_URI [--old FIXTURE] [FORMAT...]" >&2
  exit 2
fi
lv2=$(cd "$1" && pwd) vst3=$(cd "$2" && pwd) uri=$3
shift 3
old=""
if [ "${1:-}" = --old ]; then
  old=$(cd "$2" && pwd) || exit 2
  shift 2
fi
formats=("$@")
[ $# -gt 0 ] || formats=(LV2 VST3)
here=$(cd "$(dirname "$0")" && pwd)
lua=$(command -v ardour7-lua) || { echo "FAIL: ardour7-lua not found (tools/install-deps.sh installs ardour)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-ardour.XXXXXX") || exit 2
[ -n "${SONDREL_KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
export HOME=$work/home
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
# No display: JUCE falls back to :0 when DISPLAY is unset, and an Xvfb of another test may be
# there, and go away in the middle of a step.
export DISPLAY=:65535
scripts=$HOME/.config/ardour7/scripts
mkdir -p "$scripts" "$work/lv2" "$work/vst3"
cp -a "$lv2" "$work/lv2/" && cp -a "$vst3" "$work/vst3/" || exit 2
# Whole seconds, long past: Ardour finds no scan of a module modified within the current second
# (the scanner dates its cache to the module's second).
find "$work/vst3" -exec touch -h -d @1700000000 {} + || exit 2
export LV2_PATH=$work/lv2 VST3_PATH=$work/vst3 SONDREL_PLAN=$scripts/sondrel_plan.lua

fail() { echo "FAIL: $*"; exit 1; }
failed=()
problem() { echo "FAIL: $*"; failed+=("$*"); } # goes on with the next session
py() { /usr/bin/python3 "$here/host_takes.py" "$@"; }

step() { # NAME STEP
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
  export SONDREL_FORMAT=$format
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
  if [ -n "$old" ]; then
    export SONDREL_SESSION=$work/old-$format
    cp -r "$old/$format" "$SONDREL_SESSION" || fail "no fixture $old/$format"
    py ardour-plan "$scripts" waltz || exit 1 # the steps read their speed from a plan
    step "old-$format" reload
    # An LV2 session of the earlier build holds no value for the control port, so Ardour's control
    # shows its default; the plug-in's own page must still come back (checked in its saved state).
    [ "$format" = LV2 ] || grep -q '^RESULT main_tab=1' "$work/old-$format-reload.log" ||
      problem "$format: the old session's Main Tab is not back at 1"
    py old-session "$SONDREL_SESSION/sondrel.ardour" "$SONDREL_SESSION/reloaded.ardour" ||
      problem "$format: the old session's takes"
    continue
  fi
  for song in changes waltz; do
    name=$format-$song
    export SONDREL_SESSION=$work/$name
    py ardour-plan "$scripts" $song || exit 1
    step "$name" create
    snapshot=$SONDREL_SESSION/sondrel.ardour
    py prepare "$snapshot" $song || fail "preparing the saved session"
    step "$name" play
    step "$name" reload
    py ardour-check "Ardour $format ($song)" $song "$snapshot" "$SONDREL_SESSION/reloaded.ardour" ||
      problem "$name: the takes"
    if [ "$format" = LV2 ]; then
      grep -q '^RESULT audio_outputs_of_A=0' "$work/$name-create.log" || problem "$name: the plug-in added audio outputs to its MIDI track"
    fi
    grep -q '^RESULT main_tab=1' "$work/$name-reload.log" || problem "$name: after reloading, Ardour does not show Main Tab at 1"
  done
done
[ ${#failed[@]} -eq 0 ] || fail "${#failed[@]} problems: $(printf '%s; ' "${failed[@]}")"
echo "PASS"
