#!/usr/bin/env bash
# MIDI Sondrel in jalv.gtk3 (which embeds the plug-in's X11 window through suil) on a private
# Xvfb display and JACK server: the plug-in's window opens at its design size and paints; with
# the transport rolling and notes played into it, a recording appears in it and the notes come
# out unchanged; it scales with jalv's window, larger and then smaller again; "Zoom" 150 % in its
# menu makes it, and jalv's window with it, 960 x 711; jalv shuts down cleanly and reported the
# plug-in's own UI. Screenshots: SCREENSHOT, -recording, -resized, -smaller, -zoomed.
# Usage: jalv_window.sh BUNDLE_DIR PLUGIN_URI PLUGIN_NAME SCREENSHOT
set -uo pipefail

readonly DESIGN_W=640 DESIGN_H=474
readonly TOLERANCE=3      # pixels a size may be off the design size or the 640:474 line
readonly STEP_TIMEOUT=40  # seconds allowed for any one thing to happen (loaded 2-core machine)
readonly SETTLE_POLLS=8   # polls in a row a window's geometry must stay unchanged to count as settled
readonly LIFETIME=170     # hard cap on every process started here (the CTest timeout is 200)
readonly LOOP=24000       # frames in one pass of the sequence (half a second at 48 kHz)
# jack_midiseq notes as "start note length" in frames: distinct notes, no two events on one
# frame, gaps that are not multiples of the period.
readonly NOTES=(0 60 2000 5000 64 3000 11000 67 4000 17000 72 5000)

bundle=$1 uri=$2 plugin_name=$3 shot=$4
# shellcheck source=processes.sh
source "$(dirname "$0")/processes.sh"
require Xvfb jackd jack_wait jack_transport jack_midiseq jack_midi_dump jack_lsp jack_connect jack_disconnect \
  jalv.gtk3 xdotool xwininfo xprop maim /usr/bin/python3 timeout
rm -f "$shot" "${shot%.png}"-*.png
lv2_path "$bundle"
private_session sondrel-jalv
more_diagnostics() {
  echo "----- JACK ports and connections"; x jack_lsp -c 2>&1
  [ -z "${DISPLAY:-}" ] || { echo "----- windows on $DISPLAY"; x xwininfo -root -tree 2>&1 | head -n 40; }
}
start_display 2560x1600
start_jack 48000 256
echo "LV2_PATH=$LV2_PATH JACK server=$server DISPLAY=$DISPLAY"
start jalv INT jalv.gtk3 --no-menu "$uri"
jalv_pid=$last_pid

# jalv titles its window with the plug-in's name; the plug-in's window is the outermost window
# below it that its toolkit marks with a window type (GTK gives its own child windows none).
toplevel() {
  local id
  id=$(x xdotool search --all --onlyvisible --name "^$(sed 's/[][\.*^$()+?{}|]/\\&/g' <<<"$plugin_name")\$" 2>/dev/null | head -n 1)
  [ -n "$id" ] && printf '0x%x\n' "$id"
}
plugin_window() { # TOPLEVEL: breadth-first
  local queue=("$1") next w c
  while [ ${#queue[@]} -gt 0 ]; do
    next=()
    for w in "${queue[@]}"; do
      for c in $(x xwininfo -children -id "$w" 2>/dev/null | awk '/child(ren)?:$/ { on = 1; next } on && $1 ~ /^0x/ { print $1 }'); do
        x xprop -id "$c" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_NET_WM_WINDOW_TYPE_' && { echo "$c"; return 0; }
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
found_windows() { top=$(toplevel) && plugwin=$(plugin_window "$top") && [ -n "$(geometry "$plugwin")" ]; }
# WINDOW's geometry, once it has stayed the same for SETTLE_POLLS polls and differs from UNLIKE.
settled_geometry() { # WINDOW WHAT [UNLIKE]: leaves it in $settled, $w and $h
  local deadline=$((SECONDS + STEP_TIMEOUT)) g last="" same=0
  while :; do
    all_running
    g=$(geometry "$1")
    if [ "$g" != "$last" ]; then
      last=$g same=0
    elif [ -n "$g" ] && [ "$g" != "${3:-}" ] && ((++same >= SETTLE_POLLS)); then
      settled=$g w=${g%x*} h=${g#*x}
      return 0
    fi
    ((SECONDS < deadline)) || die "$2: no settled geometry within ${STEP_TIMEOUT}s (last seen: ${g:-not viewable})"
    sleep 0.25
  done
}
near() { local d=$(($1 - $2)); ((d >= -TOLERANCE && d <= TOLERANCE)); }
# Retried until the window has painted (the first frame may not be drawn when it is mapped).
screenshot() { # FILE WHAT [COLOUR X0 Y0 X1 Y1 MIN]...: the plug-in's window at $w x $h, see png_check.py
  local deadline=$((SECONDS + STEP_TIMEOUT)) report=""
  while :; do
    all_running
    if x maim --hidecursor -i "$((plugwin))" "$1" 2>"$work/maim.err"; then
      report=$(/usr/bin/python3 "$(dirname "$0")/../support/png_check.py" "$1" "$w" "$h" "${@:3}" 2>&1) &&
        { echo "$2 saved to $1: $report"; return 0; }
    else
      report=$(head -n 3 "$work/maim.err")
    fi
    ((SECONDS < deadline)) || die "$2: no $w x $h screenshot as expected within ${STEP_TIMEOUT}s (last: $report)"
    sleep 0.5
  done
}

wait_for "a window titled \"$plugin_name\" with the plug-in's window inside" found_windows
settled_geometry "$plugwin" "the plug-in's window"
first=$settled
echo "jalv window $top holds the plug-in's window $plugwin: $w x $h"
near "$w" "$DESIGN_W" && near "$h" "$DESIGN_H" || die "the plug-in's window opens at $w x $h, not ${DESIGN_W} x ${DESIGN_H}"
screenshot "$shot" "the plug-in's window"

# --- jack_transport rolling as timebase master (jalv passes its position on only when it
# changes), jack_midiseq playing into the plug-in, both ends recorded.
start_transport
start sent INT jack_midi_dump -r sent_dump
sent_pid=$last_pid
start out INT jack_midi_dump -r plugin_dump
out_pid=$last_pid
start seq INT jack_midiseq notes "$LOOP" "${NOTES[@]}"
seq_pid=$last_pid
for pair in "notes:out|sent_dump:input" "notes:out|$plugin_name:in" "$plugin_name:out|plugin_dump:input"; do
  wait_for "jack_connect ${pair%|*} to ${pair#*|}" x jack_connect "${pair%|*}" "${pair#*|}" 2>/dev/null
done
sleep 2
screenshot "${shot%.png}-recording.png" "the plug-in's window while recording" 252a34 20 66 210 120 4000 e8ebf0 220 100 630 400 30

# The sequence as jack_midiseq plays it (velocity 64, channel 1), one "frame bytes" line an event.
for ((i = 0; i < ${#NOTES[@]}; i += 3)); do
  printf "%d 90 %02x 40\n%d 80 %02x 40\n" "${NOTES[i]}" "${NOTES[i + 1]}" "$((NOTES[i] + NOTES[i + 2]))" "${NOTES[i + 1]}"
done | sort -n >"$work/expected"
needed=$((2 * $(wc -l <"$work/expected") + 1)) # two passes; the first event's spacing is unknown
events() { grep -cE '^[[:space:]]*\+?[0-9]+:' "$work/$1.out" 2>/dev/null; }
enough() { [ "$(events out)" -ge "$needed" ] && [ "$(events sent)" -ge "$needed" ]; }
wait_for "$needed events sent and put out" enough
x jack_disconnect notes:out "$plugin_name:in"
x jack_disconnect notes:out sent_dump:input
for pid in "$seq_pid" "$sent_pid" "$out_pid"; do stop_pid "$pid" INT; done
# A jack_midi_dump -r log against the looping sequence: every event in order, starting anywhere
# in the loop, the right number of frames after the one before it.
check_dump() { # LABEL FILE
  awk -v label="$1" -v loop="$LOOP" -v needed="$needed" '
    BEGIN { n = 0 }
    FNR == NR { t[n] = $1; b[n] = $2 " " $3 " " $4; n++; next }
    {
      if (!match($0, /^[[:space:]]*\+?[0-9]+: /)) { printf "%s: not a MIDI event: %s\n", label, $0; exit 1 }
      d = substr($0, 1, RLENGTH); gsub(/[^0-9]/, "", d)
      nf = split(substr($0, RLENGTH + 1), f, " "); bytes = ""
      for (i = 1; i <= nf && f[i] ~ /^[0-9a-f][0-9a-f]$/; i++) bytes = bytes (bytes == "" ? "" : " ") f[i]
      m++; dl[m] = d + 0; by[m] = bytes
    }
    END {
      if (m < needed) { printf "%s: only %d events, expected at least %d\n", label, m, needed; exit 1 }
      k = -1
      for (j = 0; j < n; j++) if (b[j] == by[1]) k = j
      if (k < 0) { printf "%s: event 1 [%s] was never sent\n", label, by[1]; exit 1 }
      for (i = 2; i <= m; i++) {
        j = (k + i - 1) % n; gap = (t[j] - t[(j + n - 1) % n] + loop) % loop
        if (by[i] != b[j] || dl[i] != gap) {
          printf "%s: event %d is [%s] %d frames after the one before; expected [%s] %d frames after\n",
                 label, i, by[i], dl[i], b[j], gap
          exit 1
        }
      }
      printf "%s: %d events, all in order and correctly spaced\n", label, m
    }' "$work/expected" "$2"
}
check_dump "sent by jack_midiseq" "$work/sent.out" || die "the sequencer did not send what this test expects"
check_dump "out of the plug-in" "$work/out.out" || die "the plug-in's MIDI output is not the MIDI that was sent"

# --- jalv's window made twice as wide, as a window manager would when the user drags it.
top_geometry=$(geometry "$top")
tw=${top_geometry%x*} th=${top_geometry#*x}
x xdotool windowsize "$top" $((2 * tw)) "$th" || die "xdotool windowsize failed"
settled_geometry "$plugwin" "the plug-in's window after resizing jalv's to $((2 * tw)) x $th" "$first"
want_h=$(((w * DESIGN_H + DESIGN_W / 2) / DESIGN_W))
echo "jalv window resized from ${tw} x ${th}; the plug-in's window is now $w x $h"
((w * 2 >= DESIGN_W * 3)) && near "$h" "$want_h" ||
  die "after the resize the plug-in's window is $w x $h, not at least $((DESIGN_W * 3 / 2)) wide and ${want_h} +-$TOLERANCE high"
screenshot "${shot%.png}-resized.png" "the resized plug-in's window"

# --- and smaller again, below the size it had grown to: the plug-in's window fills jalv's.
readonly SMALL_W=800 SMALL_H=593 # 640:474
x xdotool windowsize "$top" "$SMALL_W" "$SMALL_H" || die "xdotool windowsize failed"
settled_geometry "$plugwin" "the plug-in's window after resizing jalv's to $SMALL_W x $SMALL_H" "$settled"
echo "jalv window resized to $SMALL_W x $SMALL_H; the plug-in's window is now $w x $h"
near "$w" "$SMALL_W" && near "$h" "$SMALL_H" ||
  die "after making jalv's window smaller the plug-in's window is $w x $h, not $SMALL_W x $SMALL_H"
screenshot "${shot%.png}-smaller.png" "the plug-in's window made smaller"

# --- "Zoom" 150 % chosen with the keys in the header's menu (its fifth item, the zoom's third):
# the plug-in asks for 960 x 711 and jalv's window makes room for it.
x xdotool mousemove --window "$plugwin" $((w * 613 / DESIGN_W)) $((h * 22 / DESIGN_H)) click 1 sleep 0.8 \
  key Down Down Down Down Down Right sleep 0.5 key Down Down Return || die "xdotool could not choose the zoom"
settled_geometry "$plugwin" "the plug-in's window at 150 %" "$settled"
top_geometry=$(geometry "$top")
echo "zoomed to 150 %: the plug-in's window is $w x $h, jalv's ${top_geometry}"
near "$w" 960 && near "$h" 711 && ((${top_geometry%x*} >= w && ${top_geometry#*x} >= h)) ||
  die "at 150 % the plug-in's window is $w x $h in jalv's ${top_geometry}, not 960 x 711"
screenshot "${shot%.png}-zoomed.png" "the plug-in's window at 150 %"

# --- jalv shuts down cleanly and reported the plug-in's own UI.
kill -INT "$jalv_pid" 2>/dev/null || die "jalv is no longer running"
deadline=$((SECONDS + STEP_TIMEOUT))
while kill -0 "$jalv_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.25; done
kill -0 "$jalv_pid" 2>/dev/null && die "jalv did not exit within ${STEP_TIMEOUT}s of SIGINT"
wait "$jalv_pid"
status=$? reaped[$jalv_pid]=1
((status == 0)) || die "jalv exited with status $status after SIGINT"
awk -v uri="$uri" '$1 == "UI:" && index($2, uri) == 1 { found = 1 } END { exit !found }' "$work/jalv.out" "$work/jalv.err" ||
  die "jalv did not report loading the plug-in's own UI"
echo "jalv: the plug-in's window opens at ${DESIGN_W} x ${DESIGN_H}, shows a recording, passes MIDI through unchanged scales uniformly and zooms"
