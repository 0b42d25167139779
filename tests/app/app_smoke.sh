#!/usr/bin/env bash
# Starts the standalone app with --demo on a private display (support/on_screen.sh), waits until
# it holds recordings, has it save its window as a PNG and quit, and checks both.
# Usage: app_smoke.sh APP SCREENSHOT
set -uo pipefail
app="$1" shot="$2" support="$(dirname "$0")/../support"
rm -f "$shot"
output="$(bash "$support/on_screen.sh" "$app" --demo --screenshot "$shot" --quit-after-seconds 60 2>&1)"
status=$?
echo "$output"
[ "$status" -eq 0 ] || { echo "the app exited with $status"; exit 1; }
grep -q "MIDI Sondrel: [1-9][0-9]* recording" <<<"$output" || { echo "no recordings reported"; exit 1; }
grep -qF "window saved to" <<<"$output" || { echo "no screenshot reported"; exit 1; }
# The window at its design size above the transport bar (640 x 474 + 74), showing a card beside
# rows of events (the colours and places the jalv window test checks, moved down by the bar).
/usr/bin/python3 "$support/png_check.py" "$shot" 640 548 252a34 20 140 210 194 4000 e8ebf0 220 174 630 474 30
