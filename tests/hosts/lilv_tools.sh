#!/usr/bin/env bash
# lv2ls and lv2info (lilv-utils) looking at the freshly built bundle only: the plug-in is listed,
# named, and has an atom input port `in` and an atom output port `out`.
# Usage: lilv_tools.sh BUNDLE_DIR PLUGIN_URI EXPECTED_NAME
set -uo pipefail
bundle=$1 uri=$2 name=$3
# shellcheck source=processes.sh
source "$(dirname "$0")/processes.sh"
require lv2ls lv2info timeout awk
# Only the build's LV2 directory: nothing installed on the machine can stand in for our bundle.
LV2_PATH=$(cd "$(dirname "$bundle")" && pwd)
export LV2_PATH

status=0
problem() { echo "FAIL: $*"; status=1; }
listing=$(timeout -k 2 30 lv2ls 2>&1) || problem "lv2ls exited with $?"
grep -Fxq -- "$uri" <<<"$listing" || problem "lv2ls does not list $uri: $listing"
info=$(timeout -k 2 30 lv2info "$uri" 2>&1) || problem "lv2info exited with $?"
shown_name=$(sed -n 's/^[[:space:]]*Name:[[:space:]]*//p' <<<"$info" | head -n 1)
[ "$shown_name" = "$name" ] || problem "lv2info shows name '$shown_name', expected '$name'"
# One line a port: the last word of each line of its "Port N:" block (types, symbol, name...).
ports=$(awk '/^[[:space:]]*Port [0-9]+:/ { if (p) print p; p = "port"; next } p { p = p " " $NF } END { print p }' <<<"$info")
grep -Eq 'atom#AtomPort .*lv2core#InputPort in( |$)' <<<"$ports" || problem "lv2info shows no atom input port 'in'"
grep -Eq 'atom#AtomPort .*lv2core#OutputPort out( |$)' <<<"$ports" || problem "lv2info shows no atom output port 'out'"
if [ $status -eq 0 ]; then
  echo "lv2ls and lv2info: all checks passed"
else
  printf -- '--- lv2info %s\n%s\n--- ports\n%s\n' "$uri" "$info" "$ports"
fi
exit $status
