#!/usr/bin/env bash
# MIDI Sondrel in Qtractor (Debian's 0.9.31) on a private Xvfb display and JACK server. Qtractor
# will not start without the ALSA sequencer, which these machines lack: SEQ_STAND_IN
# (seq_stand_in.c) is preloaded in its place; the clip still reaches the plug-in through Qtractor's
# own MIDI manager. The session (host_takes.py qtractor-session: a clip of known notes on a track
# carrying the plug-in with "Keep takes with the project" on, the edit head on beat 3 of bar 2) is
# driven with key presses: play from the start, stop, back to the edit head, play, stop; saved on
# SIGUSR1. Its takes: one from the start, one from the edit head, every note within half a tick.
# Usage: qtractor_takes.sh BUNDLE_DIR SEQ_STAND_IN
set -uo pipefail

readonly STEP_TIMEOUT=40 # seconds allowed for any one thing to happen (loaded 2-core machine)
readonly LIFETIME=150    # hard cap on every process started here (the CTest timeout is 180)
bundle=$1 stand_in=$(realpath "$2") || exit 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=processes.sh
source "$here/processes.sh"
require Xvfb jackd jack_wait qtractor xdotool xprop /usr/bin/python3 timeout
lv2_path "$bundle"
private_session sondrel-qtractor
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
