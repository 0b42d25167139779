#!/usr/bin/env bash
# Runs a command on a private Xvfb display with a window manager (openbox), as on a desktop: JUCE's
# windows read properties that only exist once a window manager runs. Xvfb and openbox are
# stopped on every way out, and everything is bounded in time.
# Usage: on_screen.sh COMMAND...
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/on-screen.XXXXXX")
pids=()
stop_all() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_all EXIT
wait_for() { # WHAT COMMAND...: up to 10 s
  local _
  for _ in $(seq 100); do "${@:2}" >/dev/null 2>&1 && return 0; sleep 0.1; done
  cat "$work"/*.log
  echo "FAIL: $1"
  exit 1
}

# Xvfb picks a free display number and writes it to fd 3 once it accepts clients.
timeout -k 2 150 Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$work/display" >"$work/xvfb.log" 2>&1 </dev/null &
pids+=($!)
wait_for "Xvfb reports a display" grep -qE '^[0-9]+$' "$work/display"
export DISPLAY=":$(head -n 1 "$work/display")"
timeout -k 2 150 openbox >"$work/openbox.log" 2>&1 </dev/null &
pids+=($!)
# The window manager is there once it names itself on the root window.
wait_for "openbox is running" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
timeout -k 5 120 "$@"
