#!/usr/bin/env bash
# Keeps lilv_inspect honest: a copy of the built bundle passes, and copies with one thing a host
# relies on altered in dsp.ttl must each be rejected.
# Usage: lilv_inspect_rejects.sh LILV_INSPECT BUNDLE_DIR PLUGIN_URI
set -uo pipefail

if [ $# -ne 3 ] || [ ! -x "$1" ] || [ ! -f "$2/dsp.ttl" ]; then
  echo "usage: $0 LILV_INSPECT BUNDLE_DIR PLUGIN_URI" >&2
  exit 2
fi
inspect=$1 bundle=$2 uri=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-lilv.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT

copy="$work/copy.lv2"
make_copy() {
  rm -rf "$copy"
  mkdir -p "$copy"
  cp "$bundle"/*.ttl "$copy"/
  local so
  for so in "$bundle"/*.so; do ln -s "$(cd "$(dirname "$so")" && pwd)/$(basename "$so")" "$copy/"; done
}

status=0
make_copy
if out=$(timeout -k 2 30 "$inspect" "$copy" "$uri" 2>&1); then
  echo "unaltered copy: accepted"
else
  printf '%s\n' "$out"
  echo "FAIL: lilv_inspect rejects an unaltered copy of the bundle"
  status=1
fi

# description | sed program applied to dsp.ttl
mutations=(
  'plug-in renamed|s/doap:name "MIDI Sondrel"/doap:name "Sondrel"/'
  'parameter relabelled|s/rdfs:label "Main Tab"/rdfs:label "Main tab"/'
  'scale point relabelled|s/rdfs:label "Chord And Scale"/rdfs:label "Chords"/'
  'scale point value changed|/rdfs:label "Chord And Scale"/{n;s/rdf:value 1/rdf:value 2/}'
  'third scale point|s/rdfs:label "Events" ;/rdfs:label "Events" ; rdf:value 0 ; ], [ rdfs:label "Extra" ;/'
  'input without MIDI|/atom:supports/{n;/midi:MidiEvent ,/{s//patch:Message ,/;:a;n;ba}}'
  'parameter not writable|/patch:writable/{n;s/plug:mainMode/plug:otherMode/}'
)
for entry in "${mutations[@]}"; do
  what=${entry%%|*} program=${entry#*|}
  make_copy
  sed -i "$program" "$copy/dsp.ttl"
  if cmp -s "$bundle/dsp.ttl" "$copy/dsp.ttl"; then
    echo "FAIL: '$what' did not change dsp.ttl; the description's layout has changed, update this test"
    status=1
    continue
  fi
  out=$(timeout -k 2 30 "$inspect" "$copy" "$uri" 2>&1)
  rc=$?
  if [ $rc -eq 1 ]; then
    echo "$what: rejected ($(printf '%s\n' "$out" | grep -m 1 '^MISMATCH'))"
  else
    printf '%s\n' "$out"
    echo "FAIL: $what: lilv_inspect exited with $rc, expected 1"
    status=1
  fi
done
exit $status
