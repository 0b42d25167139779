#!/usr/bin/env bash
# MIDI Sondrel in Qtractor (Debian's 0.9.31) on a private Xvfb display and JACK server (dummy back
# end), started and stopped here. Qtractor will not start without the ALSA sequencer, which these
# machines lack: SEQ_STAND_IN (seq_stand_in.c) is preloaded in its place; the clip's MIDI still
# reaches the track's plug-in through Qtractor's own MIDI manager. The test writes the session
# (host_takes.py qtractor-session: a clip of known notes on a MIDI track carrying the plug-in, the
# option "Keep takes with the project" on in its state, the edit head on beat 3 of bar 2) and drives
# Qtractor with key presses: play from the start, stop, back to the edit head, play, stop; then
# it saves on SIGUSR1.
# The takes decoded from the saved session: one from the start and one from the edit head, every
# note within half a tick of where it was played.
# Usage: qtractor_takes.sh BUNDLE_DIR SEQ_STAND_IN
set -uo pipefail

readonly STEP_TIMEOUT=40 # seconds allowed for any one thing to happen (loaded 2-core machine)
readonly LIFETIME=150    # hard cap on every process started here (the CTest timeout is 180)
bundle=$1 stand_in=$(realpath "$2") || exit 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=processes.sh
source "$here/processes.sh"
require Xvfb jackd jack_wait qtractor xdotool xprop /usr/bin/python3 timeout
LV2_PATH=$(cd "$(dirname "$bundle")" && pwd) || exit 2
export LV2_PATH
private_session sondrel-qtractor
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR" || exit 2
x() { timeout --foreground -k 1 10 "$@"; } # an X client, bounded in time

start_display
start_jack 48000 1024
session=$work/session/sondrel.qtr
/usr/bin/python3 "$here/host_takes.py" qtractor-session "$work/session" || die "writing the session"
start qtractor TERM env LD_PRELOAD="$stand_in" qtractor "$session"
qtractor_pid=$last_pid

# The main window, once it is titled with the loaded session.
loaded() {
  win=$(x xdotool search --onlyvisible --class qtractor 2>/dev/null | head -n 1)
  [ -n "$win" ] && x xprop -id "$win" _NET_WM_NAME 2>/dev/null | grep -q sondrel
}
wait_for "Qtractor's window with the session" loaded
press() { x xdotool windowfocus --sync "$win" key "$1" || die "pressing $1"; }
sleep 2
press space     # play from the start
sleep 6
press space     # stop, near beat 12 (well past the edit head even if Qtractor started late)
sleep 1
press BackSpace # back to the edit head, beat 6
sleep 1
press space
sleep 3
press space
# Saved as a session manager asks (Save is disabled while the session is unchanged).
touch -d @0 "$session"
kill -USR1 "$(pgrep -P "$qtractor_pid")" || die "Qtractor is gone"
wait_for "Qtractor saves the session" test "$session" -nt "$work/session/notes.mid"
sleep 1
/usr/bin/python3 "$here/host_takes.py" qtractor-check "$session" || die "the takes in the session Qtractor saved"
echo PASS
