#!/usr/bin/env bash
# MIDI Sondrel hosted by jalv on a private JACK server (dummy back end: no audio hardware, no
# D-Bus). jack_transport rolls the transport at 120 BPM, jack_midiseq loops a few notes into the
# plug-in's MIDI input, and jack_midi_dump records both what the sequencer sent and what the
# plug-in put out. The plug-in passes MIDI through untouched, so its output must be the sent
# notes - same status bytes, note numbers and velocities, in order, nothing added or dropped -
# and the same number of frames apart.
#
# Usage: jalv_midi_through.sh BUNDLE_DIR PLUGIN_URI
set -uo pipefail

readonly RATE=48000 PERIOD=256
readonly LOOP=24000 # frames in one pass of the sequence (half a second)
# jack_midiseq notes as "start note length" in frames: distinct notes, no two events on one
# frame, gaps that are not multiples of the period.
readonly NOTES=(0 60 2000 5000 64 3000 11000 67 4000 17000 72 5000)
readonly CYCLES=2        # full passes the plug-in output must contain
readonly STEP_TIMEOUT=15 # seconds allowed for any one thing to happen
readonly LIFETIME=50     # hard cap on every process started here

if [ $# -ne 2 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUNDLE_DIR PLUGIN_URI" >&2
  exit 2
fi
bundle=$1 uri=$2
# shellcheck source=processes.sh
source "$(dirname "$0")/processes.sh"
require jackd jack_wait jack_transport jack_showtime jack_lsp jack_connect jack_disconnect \
  jack_midiseq jack_midi_dump jalv timeout mkfifo awk
LV2_PATH=$(cd "$(dirname "$bundle")" && pwd) || exit 2
export LV2_PATH

private_session sondrel-jalv
plugin=sondrel seq=notes sent=sent_dump out=plugin_dump
more_diagnostics() { echo "----- JACK ports and connections"; timeout --foreground -k 1 5 jack_lsp -c 2>&1; }

wait_ports() { # PORT...: waits until JACK lists every PORT
  local deadline=$((SECONDS + STEP_TIMEOUT)) listing p missing
  while :; do
    listing=$(timeout --foreground -k 1 5 jack_lsp 2>/dev/null)
    missing=()
    for p in "$@"; do
      grep -Fxq -- "$p" <<<"$listing" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    all_running
    ((SECONDS < deadline)) || die "timed out after ${STEP_TIMEOUT}s waiting for JACK ports: ${missing[*]}"
    sleep 0.2
  done
}

connect() {
  timeout --foreground -k 1 10 jack_connect "$1" "$2" || die "jack_connect $1 $2 failed"
}

event_lines() { # FILE: number of events jack_midi_dump has written
  grep -cE '^[[:space:]]*\+?[0-9]+:' "$1" 2>/dev/null
}

# The sequence as jack_midiseq plays it: note on 0x90 at the start, note off 0x80 at the end,
# channel 1, velocity 64 (jack_midiseq's fixed velocity). One "frame bytes" line per event.
expected="$work/expected"
for ((i = 0; i < ${#NOTES[@]}; i += 3)); do
  printf '%d 90 %02x 40\n' "${NOTES[i]}" "${NOTES[i + 1]}"
  printf '%d 80 %02x 40\n' "$((NOTES[i] + NOTES[i + 2]))" "${NOTES[i + 1]}"
done | sort -n >"$expected"
per_cycle=$(wc -l <"$expected")
needed=$((CYCLES * per_cycle + 1)) # the first event's spacing is unknown, so one extra

# Checks a jack_midi_dump -r log against the looping sequence: every event in order, starting
# anywhere in the loop, the right number of frames after the one before it.
check_dump() { # LABEL FILE
  awk -v label="$1" -v loop="$LOOP" -v needed="$needed" '
    BEGIN { n = 0; m = 0; bad = 0 }
    FNR == NR { t[n] = $1; b[n] = $2 " " $3 " " $4; n++; next }
    {
      if (!match($0, /^[[:space:]]*\+?[0-9]+: /)) { if (!bad) badline = $0; bad++; next }
      d = substr($0, 1, RLENGTH); gsub(/[^0-9]/, "", d)
      nf = split(substr($0, RLENGTH + 1), f, " "); bytes = ""
      for (i = 1; i <= nf && f[i] ~ /^[0-9a-f][0-9a-f]$/; i++) bytes = bytes (bytes == "" ? "" : " ") f[i]
      m++; dl[m] = d + 0; by[m] = bytes; line[m] = $0
    }
    END {
      if (bad) { printf "%s: %d line(s) that are not MIDI events, first: %s\n", label, bad, badline; exit 1 }
      if (m == 0) { printf "%s: no MIDI events recorded\n", label; exit 1 }
      k = -1
      for (j = 0; j < n; j++) if (b[j] == by[1]) k = j
      if (k < 0) { printf "%s: event 1 [%s] was never sent\n", label, by[1]; exit 1 }
      for (i = 2; i <= m; i++) {
        j = (k + i - 1) % n; p = (j + n - 1) % n
        gap = (t[j] - t[p] + loop) % loop
        if (by[i] != b[j] || dl[i] != gap) {
          printf "%s: event %d is [%s] %d frames after the previous one; expected [%s] %d frames after\n",
                 label, i, by[i], dl[i], b[j], gap
          printf "%s:   line: %s\n", label, line[i]
          exit 1
        }
      }
      if (m < needed) { printf "%s: only %d events, expected at least %d\n", label, m, needed; exit 1 }
      printf "%s: %d events = %.1f passes of the %d-event sequence, all in order and correctly spaced\n",
             label, m, (m - 1) / n, n
    }' "$expected" "$2"
}

echo "LV2_PATH=$LV2_PATH JACK server=$server"

start_jack "$RATE" "$PERIOD"
start_transport
# jack_showtime prints the transport state nonstop until stopped; one second of it at a time.
deadline=$((SECONDS + STEP_TIMEOUT))
while :; do
  timeout --foreground -k 1 1 jack_showtime 2>/dev/null | grep -m 1 'state: Rolling' >"$work/showtime.out"
  [ -s "$work/showtime.out" ] && break
  ((SECONDS < deadline)) || die "the JACK transport is not rolling after ${STEP_TIMEOUT}s"
done
echo "transport: $(tr -s ' \t' ' ' <"$work/showtime.out")"

# --- the plug-in in jalv (console version, not reading stdin), exact client name.
start jalv INT jalv -i -x -n "$plugin" "$uri"
jalv_pid=$last_pid
wait_ports "$plugin:in" "$plugin:out"

# --- recorders (they flush every cycle and stop cleanly on SIGINT), then the sequencer.
start sent INT jack_midi_dump -r "$sent"
sent_pid=$last_pid
start out INT jack_midi_dump -r "$out"
out_pid=$last_pid
wait_ports "$sent:input" "$out:input"
connect "$plugin:out" "$out:input"

start seq INT jack_midiseq "$seq" "$LOOP" "${NOTES[@]}"
seq_pid=$last_pid
wait_ports "$seq:out"
connect "$seq:out" "$sent:input"
connect "$seq:out" "$plugin:in"

deadline=$((SECONDS + STEP_TIMEOUT))
until [ "$(event_lines "$work/out.out")" -ge "$needed" ] && [ "$(event_lines "$work/sent.out")" -ge "$needed" ]; do
  all_running
  ((SECONDS < deadline)) ||
    die "timed out after ${STEP_TIMEOUT}s: plug-in output has $(event_lines "$work/out.out") events," \
      "sequencer sent $(event_lines "$work/sent.out"), need $needed"
  sleep 0.2
done
connections=$(timeout --foreground -k 1 5 jack_lsp -c 2>&1)

# Take the sequencer out of the graph and stop it, then the recorders, so the logs are complete;
# jalv must still be running.
timeout --foreground -k 1 10 jack_disconnect "$seq:out" "$plugin:in"
timeout --foreground -k 1 10 jack_disconnect "$seq:out" "$sent:input"
stop_pid "$seq_pid" INT
stop_pid "$sent_pid" INT
stop_pid "$out_pid" INT
kill -0 "$jalv_pid" 2>/dev/null || die "jalv is no longer running"

ok=1
check_dump "sent by jack_midiseq" "$work/sent.out" ||
  { echo "(the sequencer did not send what this test expects: a problem of the test set-up)"; ok=0; }
check_dump "out of the plug-in" "$work/out.out" || ok=0
if [ $ok -ne 1 ]; then
  echo "----- connections while recording"
  printf '%s\n' "$connections"
  die "the plug-in's MIDI output is not the MIDI that was sent"
fi

echo "jalv + JACK: MIDI passed through unchanged"
