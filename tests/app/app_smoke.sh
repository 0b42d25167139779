#!/usr/bin/env bash
# Starts the standalone app with --demo on a private Xvfb display, waits until it holds
# recordings, has it save its window as a PNG and quit, and checks both. Bounded in time; the
# display is stopped on every way out.
# Usage: app_smoke.sh APP SCREENSHOT
set -euo pipefail
app="$1"
shot="$2"

display=""
for n in $(seq 71 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display="$n"; break; fi
done
[ -n "$display" ] || { echo "no free display number"; exit 1; }

log="$(mktemp)"
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display}" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$log"; echo "Xvfb did not start"; exit 1; }
  sleep 0.1
done

rm -f "$shot"
status=0
output="$(DISPLAY=":$display" timeout -k 5 90 "$app" --demo --screenshot "$shot" --quit-after-seconds 60 2>&1)" || status=$?
echo "$output"
[ "$status" -eq 0 ] || { echo "the app exited with $status"; exit 1; }
grep -q "MIDI Sondrel: [1-9][0-9]* recording" <<<"$output" || { echo "no recordings reported"; exit 1; }
grep -qF "window saved to" <<<"$output" || { echo "no screenshot reported"; exit 1; }

# The window at its design size above the transport bar (640 x 474 + 74), showing a card beside
# rows of events (the colours and places the jalv window test checks, moved down by the bar).
/usr/bin/python3 "$(dirname "$0")/../support/png_check.py" "$shot" 640 548 252a34 20 140 210 194 4000 e8ebf0 220 174 630 474 30
