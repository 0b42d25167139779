#!/usr/bin/env bash
# Sets up the machine, builds MIDI Sondrel and installs it for the current user: the LV2 bundle
# in ~/.lv2, the VST3 bundle in ~/.vst3, the standalone app as ~/.local/bin/midi-sondrel and the
# capture tool as ~/.local/bin/midi-sondrel-capture. With a display it then starts the app with
# the demo playing; without one it plays the demo through the capture tool and says where the
# recordings went.
# Usage: bash tools/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target MidiSondrel_LV2 MidiSondrel_VST3 midi-sondrel midi-sondrel-capture
cmake --install build/release --prefix "$HOME"

echo
echo "Installed:"
echo "  LV2      $HOME/.lv2/MIDI Sondrel.lv2"
echo "  VST3     $HOME/.vst3/MIDI Sondrel.vst3"
echo "  app      $HOME/.local/bin/midi-sondrel"
echo "  capture  $HOME/.local/bin/midi-sondrel-capture"
echo
echo "LV2 hosts see:"
lv2ls | grep -F "urn:corvel:midi-sondrel" || echo "  (not listed: check LV2_PATH)"
echo

# A display that answers: xdpyinfo where it is installed, else the local X socket.
display_answers() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then
    xdpyinfo >/dev/null 2>&1
    return
  fi
  case "$DISPLAY" in
    :*) local n="${DISPLAY#:}"; [ -S "/tmp/.X11-unix/X${n%%.*}" ] ;;
    *) return 0 ;;
  esac
}

if display_answers; then
  echo "Starting MIDI Sondrel with the demo playing (close the window to quit)."
  exec "$HOME/.local/bin/midi-sondrel" --demo
fi
[ -z "${DISPLAY:-}" ] || echo "DISPLAY=$DISPLAY does not answer; running without the window."

out="$PWD/build/release/demo-recordings"
echo "No display: playing the built-in demo through the plug-in with midi-sondrel-capture."
"$HOME/.local/bin/midi-sondrel-capture" --loop 2 --out "$out"
echo
echo "The demo's recordings (Standard MIDI Files) are in $out"
