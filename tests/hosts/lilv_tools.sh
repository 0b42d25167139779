#!/usr/bin/env bash
# lv2ls and lv2info (lilv-utils) looking at the freshly built bundle only.
# Usage: lilv_tools.sh BUNDLE_DIR PLUGIN_URI EXPECTED_NAME
set -uo pipefail

if [ $# -ne 3 ] || [ ! -d "$1" ]; then
  echo "usage: $0 BUNDLE_DIR PLUGIN_URI EXPECTED_NAME" >&2
  exit 2
fi
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
printf '%s\n' "$listing" | grep -Fxq -- "$uri" || problem "lv2ls does not list $uri: $listing"
info=$(timeout -k 2 30 lv2info "$uri" 2>&1) || problem "lv2info exited with $?"
shown_name=$(printf '%s\n' "$info" | sed -n 's/^[[:space:]]*Name:[[:space:]]*//p' | head -n 1)
[ "$shown_name" = "$name" ] || problem "lv2info shows name '$shown_name', expected '$name'"

# One line per port: "<symbol> <types...>", from lv2info's "Port N:" blocks.
ports=$(printf '%s\n' "$info" | awk '
  function flush() { if (inport) print sym, types; inport = 0; sym = ""; types = ""; intype = 0 }
  /^[[:space:]]*Port [0-9]+:/ { flush(); inport = 1; next }
  !inport { next }
  /^[[:space:]]*Type:/ { types = types " " $2; intype = 1; next }
  /^[[:space:]]*Symbol:/ { sym = $2; intype = 0; next }
  intype && NF == 1 && $1 ~ /^[a-z]+:\/\// { types = types " " $1; next }
  /^[[:space:]]*[A-Z][A-Za-z ]*:([[:space:]]|$)/ { intype = 0; next }
  END { flush() }')
has_port() { # symbol direction
  printf '%s\n' "$ports" | awk -v s="$1" -v d="$2" '
    $1 == s && /atom#AtomPort/ && index($0, "lv2core#" d) { found = 1 } END { exit !found }'
}
has_port in InputPort || problem "lv2info shows no atom input port with symbol 'in'"
has_port out OutputPort || problem "lv2info shows no atom output port with symbol 'out'"

if [ $status -eq 0 ]; then
  echo "lv2ls and lv2info: all checks passed"
else
  printf -- '--- lv2info %s\n%s\n--- ports (symbol types)\n%s\n' "$uri" "$info" "$ports"
fi
exit $status
