#!/usr/bin/env bash
# lv2ls, lv2info and lv2bench (lilv-utils) looking at the freshly built bundle only: the plug-in is
# listed, named, a MIDI plug-in with an atom input port `in`, an atom output port `out`, no audio
# port and the "Main Tab" control port with its two pages; lv2bench loads and runs it.
# Usage: lilv_tools.sh BUNDLE_DIR PLUGIN_URI EXPECTED_NAME
set -uo pipefail
bundle=$1 uri=$2 name=$3
# shellcheck source=processes.sh
source "$(dirname "$0")/processes.sh"
require lv2ls lv2info lv2bench timeout awk
lv2_path "$bundle" # only the build's LV2 directory: nothing installed can stand in for our bundle

status=0
problem() { echo "FAIL: $*"; status=1; }
listing=$(timeout -k 2 30 lv2ls 2>&1) || problem "lv2ls exited with $?"
grep -Fxq -- "$uri" <<<"$listing" || problem "lv2ls does not list $uri: $listing"
info=$(timeout -k 2 30 lv2info "$uri" 2>&1) || problem "lv2info exited with $?"
shown_name=$(sed -n 's/^[[:space:]]*Name:[[:space:]]*//p' <<<"$info" | head -n 1)
[ "$shown_name" = "$name" ] || problem "lv2info shows name '$shown_name', expected '$name'"
# One line a port: the last word of each line of its "Port N:" block (types, symbol, name...).
ports=$(awk '/^[[:space:]]*Port [0-9]+:/ { if (p) print p; p = "port"; next } p { p = p " " $NF } END { print p }' <<<"$info")
port_with() { grep -F "atom#AtomPort" <<<"$ports" | grep -F "lv2core#$1" | grep -Eq " $2( |\$)"; } # DIRECTION SYMBOL
port_with InputPort in || problem "lv2info shows no atom input port 'in'"
port_with OutputPort out || problem "lv2info shows no atom output port 'out'"
grep -Eq '^[[:space:]]*Class:[[:space:]]+MIDI$' <<<"$info" || problem "lv2info does not show the class MIDI"
grep -q 'AudioPort' <<<"$info" && problem "lv2info shows an audio port"
# The control port's block, one line: its types, symbol, name, scale points and properties.
control=$(awk '/^[[:space:]]*Port [0-9]+:/ { if (m) exit; p = "" } { p = p " " $0 } /Symbol:[[:space:]]+mainMode$/ { m = 1 } END { if (m) print p }' <<<"$info")
for want in 'lv2core#ControlPort' 'lv2core#InputPort' 'Name: Main Tab' '0 = "Events"' '1 = "Chord And Scale"' \
  'Default: 0.000000' 'lv2core#integer' 'lv2core#enumeration'; do
  grep -Fq -- "$want" <<<"$(tr -s '[:space:]' ' ' <<<"$control")" || problem "the control port mainMode lacks: $want"
done
bench=$(timeout -k 2 60 lv2bench -b 256 -n 25600 "$uri" 2>&1) || problem "lv2bench exited with $?: $bench"
grep -Eq "^[0-9.]+ $uri\$" <<<"$bench" || problem "lv2bench did not run the plug-in: $bench"
if [ $status -eq 0 ]; then
  echo "lv2ls, lv2info and lv2bench: all checks passed"
else
  printf -- '--- lv2info %s\n%s\n--- ports\n%s\n' "$uri" "$info" "$ports"
fi
exit $status
