#!/usr/bin/env bash
# MIDI Sondrel in jalv.gtk3 on a private Xvfb display and JACK server, with a timebase master of
# our own (bbt_master.c) publishing exact bars, beats and ticks: 120 BPM, 90 BPM from inside bar 3
# (a change while rolling), then a locate back into the later tempo while rolling; it plays a note
# every half beat, and four before it starts the transport. jalv starts from a state with "Keep
# takes with the project" and "Capture while stopped" on (-l) and saves it through File > Save
# (Ctrl+S). The takes in that state: the notes played while stopped, then one take before and one
# after the locate, every note within half a tick of the beat the master published for its frame.
# Usage: jalv_takes.sh BUNDLE_DIR PLUGIN_URI PLUGIN_NAME BBT_MASTER
set -uo pipefail

readonly STEP_TIMEOUT=40 # seconds allowed for any one thing to happen (loaded 2-core machine)
readonly LIFETIME=150    # hard cap on every process started here (the CTest timeout is 180)
# Frames at 48 kHz, each on a 256-frame cycle's start: the change (beat 9.30), the locate (beat
# 16.0) back to beat 12.0, the stop (beat 15.5) before the frame the locate was made at.
readonly PLAN=(120 223232 90 437760 309760 422400)
bundle=$1 uri=$2 plugin_name=$3 master=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=processes.sh
source "$here/processes.sh"
require Xvfb jackd jack_wait jack_lsp jalv.gtk3 xdotool /usr/bin/python3 timeout
lv2_path "$bundle"
private_session sondrel-jalv-takes
start_display
start_jack 48000 256
/usr/bin/python3 "$here/host_takes.py" jalv-state "$work/initial" || die "writing the initial state"
start jalv INT jalv.gtk3 -g -l "$work/initial" "$uri"
port_up() { x jack_lsp | grep -Fxq "$plugin_name:in"; }
wait_for "jalv's port $plugin_name:in" port_up
timeout --foreground -k 2 60 "$master" "${PLAN[@]}" "$plugin_name:in" >"$work/master.out" 2>"$work/master.err" ||
  die "bbt_master did not finish its run"
all_running

# File > Save: a folder chooser, given the folder's full path.
window() { win=$(x xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [ -n "$win" ]; }
wait_for "jalv's window" window "$plugin_name"
x xdotool windowfocus --sync "$win" key ctrl+s || die "pressing Ctrl+S"
wait_for "jalv's Save State dialog" window "Save State"
x xdotool windowfocus --sync "$win" type --delay 20 "$work/saved" || die "typing the folder"
sleep 0.5 # the entry's completion settles
x xdotool windowfocus --sync "$win" key Return || die "pressing Return"
wait_for "jalv saves the state" test -s "$work/saved/state.ttl"
sleep 1
/usr/bin/python3 "$here/host_takes.py" jalv-check "$work/saved/state.ttl" "$work/master.out" ||
  die "the takes in the state jalv saved"
echo PASS
