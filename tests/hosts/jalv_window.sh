#!/usr/bin/env bash
# MIDI Sondrel's own window, opened by jalv.gtk3 on a private Xvfb display and a private JACK
# server (dummy back end). jalv embeds the plug-in's X11 window in its GTK window (suil's
# X11-in-GTK3 wrapper); the console jalv cannot show it, since the UI needs a parent window.
#
# Checks, in order:
#   - jalv shows a window titled with the plug-in's name, with the plug-in's own X11 window
#     embedded in it (not jalv's generic controls), mapped and of a settled size;
#   - that size is the design size, 640 x 474 (Xvfb runs at 96 dpi: scale 1);
#   - a screenshot of the plug-in's window is saved as SCREENSHOT, with the window's size and
#     more than one colour (the editor painted something);
#   - with the JACK transport rolling and notes played into the plug-in, a recording appears
#     in the window: a card and rows of events (SCREENSHOT with -recording);
#   - after jalv's window is resized to twice its width (height unchanged), the plug-in's window
#     has grown with it and paints again (a second screenshot, SCREENSHOT with -resized);
#   - its new geometry is 640:474 within a few pixels, at least 1.5 times as wide
#     as the design: the window scales uniformly;
#   - jalv is still running, shuts down cleanly on SIGINT and reported the plug-in's UI.
#
# Usage: jalv_window.sh BUNDLE_DIR PLUGIN_URI PLUGIN_NAME SCREENSHOT
set -uo pipefail

readonly DESIGN_W=640 DESIGN_H=474
readonly TOLERANCE=3      # pixels a size may be off the design size or the 640:474 line
readonly STEP_TIMEOUT=40  # seconds allowed for any one thing to happen (loaded 2-core machine)
readonly SETTLE_POLLS=8   # polls in a row a window's geometry must stay unchanged to count as settled
readonly LIFETIME=170     # hard cap on every process started here (the CTest timeout is 200)
readonly POLL=0.25

if [ $# -ne 4 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUNDLE_DIR PLUGIN_URI PLUGIN_NAME SCREENSHOT" >&2
  exit 2
fi
bundle=$1 uri=$2 plugin_name=$3 shot=$4
# shellcheck source=processes.sh
source "$(dirname "$0")/processes.sh"
require Xvfb jackd jack_wait jack_transport jack_midiseq jack_lsp jack_connect jalv.gtk3 xdotool xwininfo xprop maim \
  python3 timeout
shot_resized="${shot%.png}-resized.png"

mkdir -p "$(dirname "$shot")" || exit 2
rm -f "$shot" "$shot_resized"

LV2_PATH=$(cd "$(dirname "$bundle")" && pwd) || exit 2
export LV2_PATH
private_session sondrel-jalv-ui
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR" || exit 2
export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory

more_diagnostics() {
  [ -z "${DISPLAY:-}" ] || { echo "----- windows on $DISPLAY"; x xwininfo -root -tree 2>&1 | head -n 40; }
}

x() { # runs an X client, bounded in time
  timeout --foreground -k 1 10 "$@"
}

# --- the display: Xvfb picks a free display number itself and writes it to fd 3 once it
# accepts clients. Local connections only, 96 dpi so that the window's scale is 1.
timeout --foreground -k 2 "$LIFETIME" Xvfb -displayfd 3 -nolisten tcp -screen 0 2560x1600x24 -dpi 96 \
  3>"$work/display" >"$work/xvfb.out" 2>"$work/xvfb.err" </dev/null &
pids+=($!)
names+=(Xvfb)
stop_signals+=(TERM)
deadline=$((SECONDS + STEP_TIMEOUT))
until grep -qE '^[0-9]+$' "$work/display" 2>/dev/null; do
  all_running
  ((SECONDS < deadline)) || die "Xvfb did not report a display within ${STEP_TIMEOUT}s"
  sleep "$POLL"
done
export DISPLAY=":$(head -n 1 "$work/display")"

start_jack 48000 256
echo "LV2_PATH=$LV2_PATH JACK server=$server DISPLAY=$DISPLAY"

# --- jalv with the plug-in's own UI, without jalv's menu bar.
start jalv INT jalv.gtk3 --no-menu "$uri"
jalv_pid=$last_pid

# Window lookups. jalv titles its window with the plug-in's name; the plug-in's window is the
# outermost window below it that its toolkit marks with a window type (GTK gives its own child
# windows none; a GL surface inside the plug-in's window would be deeper still).
toplevel() {
  local name_regex
  name_regex="^$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$plugin_name")\$"
  local id
  id=$(x xdotool search --all --onlyvisible --name "$name_regex" 2>/dev/null | head -n 1)
  [ -n "$id" ] && printf '0x%x\n' "$id"
}
children() { # WINDOW: direct children, one id a line
  x xwininfo -children -id "$1" 2>/dev/null | awk '/child(ren)?:$/ { on = 1; next } on && $1 ~ /^0x/ { print $1 }'
}
plugin_window() { # TOPLEVEL: breadth-first
  local queue=("$1") next=() w c
  while [ ${#queue[@]} -gt 0 ]; do
    next=()
    for w in "${queue[@]}"; do
      for c in $(children "$w"); do
        if x xprop -id "$c" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_'; then
          echo "$c"
          return 0
        fi
        next+=("$c")
      done
    done
    queue=("${next[@]}")
  done
  return 1
}
geometry() { # WINDOW: "WIDTHxHEIGHT" if the window is viewable, nothing otherwise
  x xwininfo -id "$1" 2>/dev/null | awk '
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } /Map State:/ { s = $3 }
    END { if (s == "IsViewable" && w > 0 && h > 0) print w "x" h }'
}

# Waits until WINDOW's geometry has stayed the same for SETTLE_POLLS polls in a row (at least
# SETTLE_POLLS x POLL seconds) and differs from UNLIKE if given; leaves it in $settled. Not to be
# called in a subshell: die must end the script.
settled_geometry() { # WINDOW WHAT [UNLIKE]
  local win=$1 what=$2 unlike=${3:-} deadline=$((SECONDS + STEP_TIMEOUT)) g last="" same=0
  settled=""
  while :; do
    all_running
    g=$(geometry "$win")
    if [ "$g" != "$last" ]; then
      last=$g same=0
    elif [ -n "$g" ] && [ "$g" != "$unlike" ] && ((++same >= SETTLE_POLLS)); then
      settled=$g
      return 0
    fi
    ((SECONDS < deadline)) || die "$what: no settled geometry within ${STEP_TIMEOUT}s (last seen: ${g:-not viewable})"
    sleep "$POLL"
  done
}

deadline=$((SECONDS + STEP_TIMEOUT))
top="" plugwin=""
while :; do
  all_running
  top=$(toplevel)
  [ -n "$top" ] && plugwin=$(plugin_window "$top") && [ -n "$(geometry "$plugwin")" ] && break
  ((SECONDS < deadline)) ||
    die "no window titled \"$plugin_name\" with the plug-in's window inside within ${STEP_TIMEOUT}s" \
      "(jalv window: ${top:-none})"
  sleep "$POLL"
done
settled_geometry "$plugwin" "the plug-in's window"
first=$settled
w0=${first%x*} h0=${first#*x}
echo "jalv window $top holds the plug-in's window $plugwin: ${w0} x ${h0}"

near() { # A B: |A - B| <= TOLERANCE
  local d=$(($1 - $2))
  ((d >= -TOLERANCE && d <= TOLERANCE))
}
design_size() { near "$w0" "$DESIGN_W" && near "$h0" "$DESIGN_H"; }
design_size || die "the plug-in's window opens at ${w0} x ${h0}, not ${DESIGN_W} x ${DESIGN_H}"

# Screenshots: retried until the window has painted more than one colour, since the first
# frame may not be drawn yet when the window is mapped.
screenshot() { # WINDOW WIDTH HEIGHT FILE WHAT [COLOUR X0 Y0 X1 Y1 MIN]...: see png_check.py
  local deadline=$((SECONDS + STEP_TIMEOUT)) report=""
  while :; do
    all_running
    if x maim --hidecursor -i "$(($1))" "$4" 2>"$work/maim.err"; then
      report=$(python3 "$(dirname "$0")/png_check.py" "$4" "$2" "$3" "${@:6}" 2>&1) &&
        { echo "$5 saved to $4: $report"; return 0; }
    else
      report=$(head -n 3 "$work/maim.err")
    fi
    ((SECONDS < deadline)) || die "$5: no ${2} x ${3} screenshot with more than one colour within ${STEP_TIMEOUT}s (last: $report)"
    sleep 0.5
  done
}
screenshot "$plugwin" "$w0" "$h0" "$shot" "the plug-in's window"

# --- what it is for: with jack_transport rolling at 120 BPM as timebase master (jalv passes its
# position on only when it changes) and jack_midiseq playing into the plug-in, a recording
# appears: a card (its background colour) beside a table of rows (their text colour).
start_transport
start seq INT jack_midiseq notes 24000 0 60 4000 6000 64 4000 12000 67 8000
deadline=$((SECONDS + STEP_TIMEOUT))
until x jack_connect notes:out "$plugin_name:in" 2>/dev/null; do
  all_running
  ((SECONDS < deadline)) || die "could not connect the sequencer to the plug-in's MIDI input ($plugin_name:in)"
  sleep "$POLL"
done
sleep 2
screenshot "$plugwin" "$w0" "$h0" "${shot%.png}-recording.png" "the plug-in's window while recording" \
  252a34 20 66 210 120 4000 e8ebf0 220 100 630 400 30

# --- resize jalv's window as a window manager would when the user drags it: twice the width,
# the same height. The plug-in's window must follow; a uniformly scaling window keeps 640:474.
top_geometry=$(geometry "$top")
tw=${top_geometry%x*} th=${top_geometry#*x}
x xdotool windowsize "$top" $((2 * tw)) "$th" || die "xdotool windowsize failed"
settled_geometry "$plugwin" "the plug-in's window after resizing jalv's to $((2 * tw)) x $th" "$first"
second=$settled
w1=${second%x*} h1=${second#*x}
echo "jalv window resized from ${tw} x ${th} to $(geometry "$top" | tr x ' ' | sed 's/ / x /'); plug-in window now ${w1} x ${h1}"
((w1 * 4 >= w0 * 5)) || die "the plug-in's window did not grow with jalv's: ${w0} x ${h0} -> ${w1} x ${h1}"
screenshot "$plugwin" "$w1" "$h1" "$shot_resized" "the resized plug-in's window"
proportional() {
  ((w1 * 2 >= DESIGN_W * 3)) && near "$h1" $(((w1 * DESIGN_H + DESIGN_W / 2) / DESIGN_W))
}
proportional || die "after the resize the plug-in's window is ${w1} x ${h1}; at $DESIGN_W:$DESIGN_H that width needs\
 a height of $(((w1 * DESIGN_H + DESIGN_W / 2) / DESIGN_W)) +-$TOLERANCE (and a width of at least $((DESIGN_W * 3 / 2)))"

# --- jalv shuts down cleanly and reported the plug-in's own UI.
kill -0 "$jalv_pid" 2>/dev/null || die "jalv is no longer running"
kill -INT "$jalv_pid"
deadline=$((SECONDS + STEP_TIMEOUT))
while kill -0 "$jalv_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep "$POLL"; done
if kill -0 "$jalv_pid" 2>/dev/null; then
  die "jalv did not exit within ${STEP_TIMEOUT}s of SIGINT"
fi
wait "$jalv_pid"
status=$?
reaped[$jalv_pid]=1
((status == 0)) || die "jalv exited with status $status after SIGINT"
awk -v uri="$uri" '$1 == "UI:" && index($2, uri) == 1 { found = 1 } END { exit !found }' "$work/jalv.out" "$work/jalv.err" ||
  die "jalv did not report loading the plug-in's own UI"
echo "jalv shut down cleanly"

echo "jalv: the plug-in's window opens at ${DESIGN_W} x ${DESIGN_H}, paints, shows a recording and scales uniformly"
