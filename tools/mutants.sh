#!/usr/bin/env bash
# shellcheck disable=SC2317,SC2001  # functions called by traps; sed for prefixing lines
# Planted faults: how many real bugs do the tests catch?
#
# Copies the working tree (without .git and build/) to a scratch folder, builds it there, then
# plants the faults listed at the end of this file one at a time: each replaces one exact snippet
# of one file, the build is brought up to date, the tests that should notice run, and the file is
# put back. A fault is "caught" when a test fails or the build does; "MISSED" when everything
# still passes; "BROKEN" when its snippet no longer occurs exactly once (the code moved on: mend
# the table). The tree this script lives in is never written to.
#
# Which tests a fault runs is its group:
#   core    the core preset, ctest -L core                                     (seconds)
#   plugin  the release preset, ctest -L plugin, then ctest -R JuceHosting     (audiounit, Wickerlamp, ui, plugin)
#   app     the release preset, ctest -L app                                   (app, the capture tool)
# No real-host tests (jalv, Ardour). Runs on demand only, never from CI or tools/test.sh.
#
# Usage: bash tools/mutants.sh [options] [ID-or-glob ...]
#   --list               print the faults (id, group, file, what it breaks) and exit
#   --check              only check that every snippet occurs exactly once (no build)
#   --caught FILE        write the ids of the caught faults to FILE, one a line
#   --compare OLD NEW    compare two such files: faults caught in OLD but not in NEW (exit 1 if any)
#   --scratch DIR        work in DIR (created; kept afterwards, and reused by the next run: only
#                        what changed is rebuilt). Default: a new folder under ${TMPDIR:-/tmp},
#                        removed at the end
#   --keep               keep the default scratch folder (with a log per fault in logs/)
#   --jobs N             build and test jobs (default 2)
#   --build-timeout S    seconds a fault's build may take (default 1200)
#   --test-timeout S     seconds a fault's tests may take, per ctest run (default 900)
#   --skip-baseline      do not run the tests on the unchanged tree first
# IDs may be globs: `bash tools/mutants.sh 'core.*'` plants only the core faults.
set -uo pipefail
export LC_ALL=C
shopt -u patsub_replacement 2>/dev/null || true  # "&" in a replacement is literal

source_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)

caught_file=""
scratch=""
keep=0
jobs=2
build_timeout=1200
test_timeout=900
baseline=1
mode=run
patterns=()

die() { echo "mutants: $*" >&2; exit 2; }

while (($#)); do
  case "$1" in
    --list) mode=list ;;
    --check) mode=check ;;
    --caught) caught_file=${2:?--caught takes a file}; shift ;;
    --compare)
      [ $# -ge 3 ] || die "--compare takes two files"
      mode=compare; compare_old=$2; compare_new=$3; shift 2 ;;
    --scratch) scratch=${2:?--scratch takes a folder}; shift ;;
    --keep) keep=1 ;;
    --jobs) jobs=${2:?--jobs takes a number}; shift ;;
    --build-timeout) build_timeout=${2:?}; shift ;;
    --test-timeout) test_timeout=${2:?}; shift ;;
    --skip-baseline) baseline=0 ;;
    -h|--help) sed -n '3,/^set -uo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) patterns+=("$1") ;;
  esac
  shift
done

if [ "$mode" = compare ]; then
  if [ ! -r "$compare_old" ] || [ ! -r "$compare_new" ]; then die "cannot read $compare_old or $compare_new"; fi
  lost=$(comm -23 <(sort -u "$compare_old") <(sort -u "$compare_new"))
  gained=$(comm -13 <(sort -u "$compare_old") <(sort -u "$compare_new"))
  echo "caught in $compare_old: $(sort -u "$compare_old" | grep -c .), in $compare_new: $(sort -u "$compare_new" | grep -c .)"
  [ -z "$gained" ] || sed 's/^/newly caught: /' <<<"$gained"
  if [ -n "$lost" ]; then
    sed 's/^/no longer caught: /' <<<"$lost"
    exit 1
  fi
  echo "every fault caught before is still caught"
  exit 0
fi

# ---------------------------------------------------------------------------------------------
# The fault table (at the end of this file) into arrays.

ids=() groups=() files=() whats=() olds=() news=()
load_faults() {
  local line state="" id group file what old new
  flush() {
    [ -n "$state" ] || return 0
    # Snippets never end in blank lines; the blank lines between records are not part of them.
    while [[ $old == *$'\n' ]]; do old=${old%$'\n'}; done
    while [[ $new == *$'\n' ]]; do new=${new%$'\n'}; done
    [ -n "$old" ] || die "fault $id has no old text"
    ids+=("$id") groups+=("$group") files+=("$file") whats+=("$what") olds+=("$old") news+=("$new")
  }
  while IFS= read -r line; do
    case "$line" in
      "=== "*)
        flush
        read -r id group file <<<"${line#=== }"
        case "$group" in core|plugin|app) ;; *) die "fault $id: unknown group '$group'" ;; esac
        state=what what="" old="" new="" ;;
      "--- old") state=old ;;
      "--- new") state=new ;;
      *)
        case "$state" in
          what) what=${what:+$what }$line ;;
          old) old+=$line$'\n' ;;
          new) new+=$line$'\n' ;;
        esac ;;
    esac
  done < <(sed -n "/^: <<'__FAULTS__'\$/,/^__FAULTS__\$/p" "${BASH_SOURCE[0]}" | sed '1d;$d')
  flush
  local i j
  for ((i = 0; i < ${#ids[@]}; i++)); do
    for ((j = i + 1; j < ${#ids[@]}; j++)); do
      [ "${ids[i]}" != "${ids[j]}" ] || die "fault id ${ids[i]} is used twice"
    done
  done
}
load_faults

selected=()
for ((i = 0; i < ${#ids[@]}; i++)); do
  if ((${#patterns[@]} == 0)); then
    selected+=("$i")
    continue
  fi
  for p in "${patterns[@]}"; do
    # shellcheck disable=SC2053  # the pattern is a glob on purpose
    if [[ ${ids[i]} == $p ]]; then selected+=("$i"); break; fi
  done
done
((${#selected[@]} > 0)) || die "no fault matches ${patterns[*]}"

if [ "$mode" = list ]; then
  for i in "${selected[@]}"; do
    printf '%-34s %-7s %-38s %s\n' "${ids[i]}" "${groups[i]}" "${files[i]}" "${whats[i]}"
  done
  echo "${#selected[@]} faults"
  exit 0
fi

# How often the fault's old text occurs in the file under `root`.
occurrences() {
  local root=$1 i=$2 content rest
  [ -f "$root/${files[i]}" ] || { echo 0; return; }
  IFS= read -r -d '' content <"$root/${files[i]}"
  rest=${content//"${olds[i]}"/}
  echo $(((${#content} - ${#rest}) / ${#olds[i]}))
}

if [ "$mode" = check ]; then
  bad=0
  for i in "${selected[@]}"; do
    n=$(occurrences "$source_root" "$i")
    if [ "$n" != 1 ]; then
      printf 'BROKEN  %-34s old text occurs %s times in %s\n' "${ids[i]}" "$n" "${files[i]}"
      bad=$((bad + 1))
    fi
  done
  echo "$((${#selected[@]} - bad)) of ${#selected[@]} faults apply"
  ((bad == 0))
  exit
fi

# ---------------------------------------------------------------------------------------------
# The scratch copy.

made_scratch=0
if [ -z "$scratch" ]; then
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/sondrel-mutants.XXXXXX") || die "cannot make a scratch folder"
  made_scratch=1
else
  mkdir -p "$scratch" || die "cannot make $scratch"
  keep=1
  if [ -n "$(ls -A "$scratch")" ] && [ ! -e "$scratch/.sondrel-mutants" ]; then
    die "$scratch is not empty and not a scratch folder of this script"
  fi
fi
scratch=$(cd "$scratch" && pwd -P)
case "$scratch/" in
  "$source_root"/*) die "the scratch folder may not lie inside the tree being tested" ;;
esac
if git -C "$scratch" rev-parse --git-dir >/dev/null 2>&1; then
  die "$scratch lies inside a git repository; choose a folder outside any work tree"
fi
touch "$scratch/.sondrel-mutants"
tree=$scratch/tree
logs=$scratch/logs
mkdir -p "$tree" "$logs"

mutated=-1          # the fault planted right now, if any
mutated_original=""
restore() {
  if ((mutated >= 0)); then
    # A fresh modification time, so that the build notices the file changed back.
    printf '%s' "$mutated_original" >"$tree/${files[mutated]}"
    mutated=-1
  fi
}
exec 3>&1  # the terminal, also from inside a step whose output goes to a log
child=""    # the step running now
cleanup() {
  restore
  cd / || true
  if ((made_scratch && !keep)); then
    rm -rf -- "$scratch"
  else
    echo "scratch folder kept: $scratch" >&3
  fi
}
interrupted() {
  if [ -n "$child" ]; then
    kill -TERM "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  echo "mutants: interrupted" >&3
  exit 130
}
trap cleanup EXIT
trap interrupted INT TERM

# Runs a command for at most $1 seconds (then stops it and everything it started: status 124).
# In the background, so that an interrupt stops it at once instead of after it.
bounded() {
  local seconds=$1 status
  shift
  timeout --kill-after=30 "$seconds" "$@" &
  child=$!
  wait "$child"
  status=$?
  child=""
  return $status
}

# Copies the working tree into the scratch tree. A file is copied only when its content differs,
# with a new modification time, so that a reused scratch folder rebuilds exactly what changed
# (and never keeps an object built from a fault planted by an interrupted run).
sync_tree() {
  local f
  (cd "$source_root" && find . \( -path ./.git -o -path ./build \) -prune -o -type f -print0) |
    while IFS= read -r -d '' f; do
      if ! cmp -s "$source_root/$f" "$tree/$f"; then
        mkdir -p "$(dirname "$tree/$f")" && cp "$source_root/$f" "$tree/$f" || exit 1
      fi
    done || die "cannot copy the tree"
  (cd "$tree" && find . -path ./build -prune -o -type f -print0) |
    while IFS= read -r -d '' f; do
      [ -e "$source_root/$f" ] || rm -f -- "$tree/$f"
    done
}

preset_of() { case "$1" in core) echo core ;; *) echo release ;; esac; }

# The targets a group's tests need (the release preset builds everything once for the baseline).
targets_of() {
  case "$1" in
    core) echo all ;;
    plugin) echo plugin_tests juce_hosting_tests ;;
    app) echo app_host_tests app_live_host_tests midi-sondrel midi-sondrel-capture ;;
  esac
}

# Brings the group's build up to date. Status 124 when it ran out of time.
build_group() {
  local group=$1 timeout_s=$2 preset targets
  preset=$(preset_of "$group")
  read -ra targets <<<"$(targets_of "$group")"
  bounded "$timeout_s" cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}"
}

# Runs the group's tests. Status 0 when all passed, 124 when they ran out of time.
test_group() {
  local group=$1 preset status
  preset=$(preset_of "$group")
  run_ctest() { bounded "$test_timeout" ctest --preset "$preset" -j "$jobs" --stop-on-failure "$@"; }
  case "$group" in
    core) run_ctest -L core ;;
    plugin) run_ctest -L plugin && run_ctest -R JuceHosting ;;
    app) run_ctest -L app ;;
  esac
}

# The first failing test named in a log, if any.
first_failure() {
  sed -En 's/^[[:space:]]*[0-9]+ - (.*) \([^()]*\)$/\1/p' "$1" | head -n 1
}

seconds_since() { echo $(($(date +%s) - $1)); }

echo "mutants: copying $source_root to $tree"
sync_tree
cd "$tree" || die "cannot enter $tree"

need_core=0 need_release=0
for i in "${selected[@]}"; do
  case "${groups[i]}" in core) need_core=1 ;; *) need_release=1 ;; esac
done

started=$(date +%s)
for preset in core release; do
  [ "$preset" = core ] && ((!need_core)) && continue
  [ "$preset" = release ] && ((!need_release)) && continue
  echo "mutants: configuring and building the $preset preset (once)"
  t=$(date +%s)
  log=$logs/build-$preset.log
  if ! { bounded 600 cmake --preset "$preset" -DSONDREL_BUILD_BENCHMARKS=OFF &&
         bounded $((build_timeout * 3)) cmake --build --preset "$preset" -j "$jobs"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    die "the unchanged tree does not build in the $preset preset (log: $log)"
  fi
  echo "mutants: $preset built in $(seconds_since "$t") s"
done

if ((baseline)); then
  for group in core plugin app; do
    wanted=0
    for i in "${selected[@]}"; do [ "${groups[i]}" = "$group" ] && wanted=1; done
    ((wanted)) || continue
    t=$(date +%s)
    log=$logs/baseline-$group.log
    if ! test_group "$group" >"$log" 2>&1; then
      tail -n 30 "$log" >&2
      die "the $group tests fail on the unchanged tree (first: $(first_failure "$log")); nothing could be told apart (log: $log)"
    fi
    echo "mutants: $group tests pass on the unchanged tree ($(seconds_since "$t") s)"
  done
fi

# ---------------------------------------------------------------------------------------------
# One fault at a time.

caught_ids=() missed_ids=() broken_ids=() error_ids=()
for i in "${selected[@]}"; do
  id=${ids[i]} group=${groups[i]}
  log=$logs/$id.log
  t=$(date +%s)
  n=$(occurrences "$tree" "$i")
  if [ "$n" != 1 ]; then
    printf 'BROKEN  %-34s old text occurs %s times in %s\n' "$id" "$n" "${files[i]}"
    broken_ids+=("$id")
    continue
  fi
  IFS= read -r -d '' mutated_original <"$tree/${files[i]}"
  mutated=$i
  printf '%s' "${mutated_original/"${olds[i]}"/"${news[i]}"}" >"$tree/${files[i]}"

  build_group "$group" "$build_timeout" >"$log" 2>&1
  status=$?
  if ((status == 124 || status == 137)); then
    result="ERROR" how="the build ran out of time"
  elif ((status != 0)); then
    result="caught" how="the build failed"
  else
    test_group "$group" >>"$log" 2>&1
    status=$?
    if ((status == 0)); then
      result="MISSED" how="every test passed"
    elif ((status == 124 || status == 137)); then
      result="caught" how="the tests hung (stopped after $test_timeout s)"
    else
      result="caught" how="by $(first_failure "$log")"
    fi
  fi
  restore

  printf '%-7s %-34s %4d s  %s: %s\n' "$result" "$id" "$(seconds_since "$t")" "${whats[i]}" "$how"
  case "$result" in
    caught) caught_ids+=("$id") ;;
    MISSED) missed_ids+=("$id") ;;
    ERROR) error_ids+=("$id") ;;
  esac
done

echo
echo "${#caught_ids[@]} of ${#selected[@]} caught" \
  "(${#missed_ids[@]} missed, ${#broken_ids[@]} broken, ${#error_ids[@]} errors) in $(seconds_since "$started") s"
((${#missed_ids[@]})) && echo "missed: ${missed_ids[*]}"
((${#broken_ids[@]})) && echo "broken: ${broken_ids[*]}"
((${#error_ids[@]})) && echo "errors: ${error_ids[*]}"
if [ -n "$caught_file" ]; then
  if ((${#caught_ids[@]})); then printf '%s\n' "${caught_ids[@]}"; fi >"$caught_file"
  echo "caught list written to $caught_file"
fi
exit 0

# ---------------------------------------------------------------------------------------------
# The faults. A record:
#   === ID GROUP FILE
#   what it breaks, in one line
#   --- old
#   the exact text to replace (one or more whole or partial lines)
#   --- new
#   what replaces it (may be empty)
# The heredoc only keeps the shell from reading the table; load_faults reads it from this file.
: <<'__FAULTS__'
=== core.split-same-time core core/MidiProcessor.cpp
an event at the same sample time as the last one starts a new take
--- old
event.sampleTime < lastSampleTime;
--- new
event.sampleTime <= lastSampleTime;

=== core.sysex-analysed core core/MidiProcessor.cpp
system-exclusive events are analysed and recorded like short messages
--- old
        if (event.type != RenderEventType::MIDI)
            continue;
--- new

=== core.jump-back-no-shift core core/MidiProcessor.cpp
a jump back starts the new take over the live one instead of shifting the takes down
--- old
                queue.push(out).kind = RecorderOp::Kind::Shift;
--- new

=== core.slots-uncapped core core/MidiProcessor.cpp
the count of takes in use grows past the five kept
--- old
                slotsInUse = std::min<std::uint32_t>(slotsInUse + 1, static_cast<std::uint32_t>(recordingCount));
--- new
                slotsInUse = slotsInUse + 1;

=== core.replace-odd-generation core core/MidiProcessor.cpp
replaced takes get an odd generation, which the render thread reads as being written and never adopts
--- old
    const std::uint64_t generation = sequence + 2;
--- new
    const std::uint64_t generation = sequence + 1;

=== core.adoption-keeps-old-mirror core core/MidiProcessor.cpp
the render thread acknowledges replaced takes but keeps its old picture of them
--- old
    live = taken;
    adoptedSequence = sequence;
--- new
    adoptedSequence = sequence;

=== core.tempo-change-not-queued core core/MidiProcessor.cpp
a tempo change on a cycle without events never reaches the recorder
--- old
    const bool adopted = adoptReplacedRecordings(cursor);
    queueTempo(cursor);
--- new
    const bool adopted = adoptReplacedRecordings(cursor);
    if (!events.empty())
        queueTempo(cursor);

=== core.store-ignores-awaited-generation core core/RecordingStore.cpp
after a replace, operations queued for the old takes are still applied to the new ones
--- old
        if (awaitedGeneration != 0 && op.kind != RecorderOp::Kind::SetTempo) {
--- new
        if (false) {

=== core.store-start-time-repeats core core/RecordingStore.cpp
a take begun within the same millisecond as another gets the same start time
--- old
std::max(wallClock, latest + 1);
--- new
wallClock;

=== core.archive-keeps-older-after-full core core/RecordingArchive.cpp
a take too large for the saved state is left out but older, smaller ones after it are kept
--- old
        full = full || size > eventByteLimit - std::min(eventBytes, eventByteLimit);
--- new
        full = size > eventByteLimit - std::min(eventBytes, eventByteLimit);

=== core.archive-limit-off-by-one core core/RecordingArchive.cpp
a take that exactly fills the saved state's limit is left out
--- old
        full = full || size > eventByteLimit - std::min(eventBytes, eventByteLimit);
--- new
        full = full || size >= eventByteLimit - std::min(eventBytes, eventByteLimit);

=== core.archive-start-time-repeats core core/RecordingArchive.cpp
two saved takes with the same start time are read back with it
--- old
        while (std::count_if(recordings.begin(), recordings.end(),
                             [&](const Recording& other) { return other.startTime == r.startTime; }) > 1)
            ++r.startTime;
--- new

=== core.move-down-loses-newest core core/MIDIRecorder.cpp
moving the takes down drops the newest instead of the oldest
--- old
    for (std::size_t i = recordings.size(); i-- > 1;)
--- new
    for (std::size_t i = recordings.size(); i-- > 2;)

=== core.velocity-zero-is-note-on core core/MIDIRecorder.cpp
a note-on with velocity 0 is listed as a note-on
--- old
    case 1: info.type = info.data2 != 0 ? MIDIEventType::NoteOn : MIDIEventType::NoteOff; break;
--- new
    case 1: info.type = MIDIEventType::NoteOn; break;

=== core.held-velocity-zero core core/NoteDetector.h
a note-on with velocity 0 holds the note instead of releasing it
--- old
                break;
            }
            [[fallthrough]];
--- new
                break;
            }
            break;

=== core.all-notes-off-ignored core core/NoteDetector.h
All Notes Off leaves the held notes held
--- old
            if (data1 == 123)  // All Notes Off
                reset();
--- new

=== core.minor7-rule-dropped core core/NoteDetector.cpp
a minor seventh with its third in the bass is not read as a major sixth on the bass
--- old
    if (kind == ChordKind::Minor7 && bass == (root + 3) % 12) {
--- new
    if (false) {

=== core.chord-bass-preference-dropped core core/NoteDetector.cpp
among equally good chords the one rooted on the bass is not preferred
--- old
        if (matches[i].root == bass) {
--- new
        if (false) {

=== core.chord-quality-min7b5 core core/ChordDescription.cpp
a half-diminished chord is coloured as diminished instead of minor
--- old
    {"Min7b5", ChordQuality::minor},
--- new
    {"Min7b5", ChordQuality::diminished},

=== core.scale-tonic-tiebreak-dropped core core/ScaleGuessing.cpp
among equally ranked scales those on the tonic (lowest note) no longer come first
--- old
                         return a.root == tonic && b.root != tonic;
--- new
                         return false;

=== core.scale-larger-first core core/ScaleGuessing.cpp
among equally ranked scales the larger ones come first
--- old
                             return da.intervals.size() < db.intervals.size();
--- new
                             return da.intervals.size() > db.intervals.size();

=== core.scale-names-repeat core core/ScaleGuessing.cpp
the same scale is offered again on another root
--- old
        if (std::any_of(usedNames.begin(), usedNames.end(), [&](const std::string* n) { return *n == def.name; }))
            continue;
--- new

=== core.ticks-half-to-even core core/MidiFileWriter.cpp
the writer rounds halves of a tick to even instead of away from zero
--- old
    return std::round(beatPosition * MIDIRecorder::ticksPerQuarterNote);
--- new
    return std::nearbyint(beatPosition * MIDIRecorder::ticksPerQuarterNote);

=== core.tick-clamp-missing core core/MidiFileWriter.cpp
the written tick may go back (no clamp to the previous tick)
--- old
        tick = std::max(tick, previousTick);
--- new

=== core.writer-system-messages core core/MidiFileWriter.cpp
system messages (clock, start, stop, SysEx) are written into the track
--- old
    if (message.empty() || message[0] < 0x80 || message[0] >= 0xF0)
--- new
    if (message.empty() || message[0] < 0x80)

=== core.writer-tempo-option-ignored core core/MidiFileWriter.cpp
the tempo option adds no time signature or tempo at the start
--- old
    if (options.withTempo) {
        out = std::copy(std::begin(timeSignature), std::end(timeSignature), out);
--- new
    if (false) {
        out = std::copy(std::begin(timeSignature), std::end(timeSignature), out);

=== core.writer-tempo-changes-dropped core core/MidiFileWriter.cpp
with the tempo, later tempo changes are not written
--- old
            if (eventTempo != 0 && eventTempo != tempo) {
--- new
            if (false) {

=== core.writer-first-tempo-unwritten-message core core/MidiFileWriter.cpp
the tempo at tick 0 is taken from a message that is not written
--- old
            tempo = MidiFileWriter::isWritten(source.dataAt(i)) ? microsecondsPerQuarter(source.bpmAt(i)) : 0;
--- new
            tempo = microsecondsPerQuarter(source.bpmAt(i));

=== core.writer-vlq-continuation core core/MidiFileWriter.cpp
long deltas are written without their continuation bits
--- old
        groups[n++] = static_cast<std::uint8_t>((value & 0x7F) | 0x80);
--- new
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);

=== core.writer-track-length core core/MidiFileWriter.cpp
the track's length counts its own length field
--- old
    writeBigEndian32(lengthField, static_cast<std::uint32_t>(out - trackStart));
--- new
    writeBigEndian32(lengthField, static_cast<std::uint32_t>(out - lengthField));

=== core.position-advances-by-current-block core core/PositionCarrier.cpp
a carried position advances by the current block instead of the previous one
--- old
    const std::optional<BlockPosition> p = carriedPosition(sampleRate);
    if (p)
--- new
    previousBlockLength = length;
    const std::optional<BlockPosition> p = carriedPosition(sampleRate);
    if (p)

=== core.position-stopped-advances core core/PositionCarrier.cpp
a carried position moves on while the transport stands still
--- old
(moving ? previousBlockLength : 0)
--- new
previousBlockLength

=== core.position-bar-correction-dropped core core/PositionCarrier.cpp
a beat worked out from the sample time is not put into the bar the host names
--- old
    return beat + static_cast<double>(*bar) * q - std::floor(beat / q) * q;
--- new
    return beat;

=== core.position-tempo-continuity-dropped core core/PositionCarrier.cpp
at a tempo change without a jump the beat is worked out afresh instead of going on
--- old
        else if (carried && carried->sampleTime == p.sampleTime
--- new
        else if (false && carried && carried->sampleTime == p.sampleTime

=== core.queue-full-block-unpublished core core/RecorderQueue.cpp
operations at the end of a full queue block are never published
--- old
        tail->published.store(blockCapacity, std::memory_order_release);
--- new

=== core.tempo-map-first-change-wins core core/TempoMap.cpp
of two tempo changes at the same instant the first wins
--- old
        list.back().bpm = change.bpm;
--- new

=== core.reader-running-status core core/MidiFileReader.cpp
under running status the reader skips the first data byte
--- old
                    --pos;  // the byte was the first data byte
--- new

=== core.reader-format2-overlaid core core/MidiFileReader.cpp
the tracks of a format 2 file play at once instead of one after the other
--- old
                    events[i].tick += offset;
--- new

=== au.sysex-as-short-message plugin audiounit/RenderAdapter.cpp
a short system-exclusive message from the host is handed to the kernel as a MIDI message
--- old
            if (size <= 3 && size > 0 && bytes[0] != 0xF0)
--- new
            if (size <= 3 && size > 0)

=== au.event-time-without-block-start plugin audiounit/RenderAdapter.cpp
events are stamped with their offset in the block instead of their sample time
--- old
                e.setMidi(blockStart + offset, bytes, size, 0);
--- new
                e.setMidi(offset, bytes, size, 0);

=== au.only-first-chunk plugin audiounit/RenderAdapter.cpp
a block with more events than one chunk holds loses the rest
--- old
    } while (status == Corvel::noErr && in + headerSize <= end);
--- new
    } while (false);

=== au.time-signature-swapped plugin audiounit/RenderAdapter.cpp
the host's time signature is read upside down
--- old
        report.beatsPerBar = signature->numerator;
        report.beatUnit = signature->denominator;
--- new
        report.beatsPerBar = signature->denominator;
        report.beatUnit = signature->numerator;

=== au.render-allocates plugin audiounit/RenderAdapter.cpp
the render thread allocates on every block
--- old
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);
--- new
    static std::unique_ptr<juce::MemoryBlock> kept;
    kept = std::make_unique<juce::MemoryBlock>(static_cast<std::size_t>(numSamples));
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);

=== au.render-locks plugin audiounit/RenderAdapter.cpp
the render thread takes a lock on every block
--- old
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);
--- new
    static juce::CriticalSection planted;
    const juce::ScopedLock hold(planted);
    position = carrier.position(report ? &*report : nullptr, numSamples, rate);

=== au.bypass-records plugin audiounit/MidiSondrelAudioUnit.cpp
the host's bypass still records and analyses
--- old
    render(midi, audio.getNumSamples(), true);
--- new
    render(midi, audio.getNumSamples(), false);

=== au.state-always-keeps-takes plugin audiounit/MidiSondrelAudioUnit.cpp
the takes are saved with the project although the option is off
--- old
    if (keepsTakesWithProject()) {
--- new
    if (true) {

=== au.scales-two-notes plugin audiounit/MidiSondrelAudioUnit.cpp
scales matching only two held notes are shown
--- old
    std::erase_if(guesses, [](const Corvel::Scale& s) { return s.matchingNoteCount < 3; });
--- new
    std::erase_if(guesses, [](const Corvel::Scale& s) { return s.matchingNoteCount < 2; });

=== au.takes-state-unbounded plugin audiounit/TakesState.cpp
a saved state is inflated without a bound on its size
--- old
        if (archive.size() > archiveLimit)
            return std::nullopt;  // no state of ours is that large
--- new

=== wl.echo-rule-inverted plugin Wickerlamp/Observable.h
assigning an equal value notifies the observers and readers too
--- old
        const bool changed = !Equal{}(newValue, current);
--- new
        const bool changed = true;

=== wl.stale-reader-rebuilt plugin Wickerlamp/ObservationScope.cpp
a component that stopped reading a value is still rebuilt when it changes
--- old
        if (auto* reader = entry.reader.getComponent(); reader != nullptr && reader->generation == entry.generation)
--- new
        if (auto* reader = entry.reader.getComponent(); reader != nullptr)

=== wl.feed-cap-off-by-one plugin Wickerlamp/UpdateFeedFetcher.h
the update feed reader takes one byte more than 1 MiB
--- old
    static constexpr std::size_t maximumFeedBytes = 1 << 20;
--- new
    static constexpr std::size_t maximumFeedBytes = (1 << 20) + 1;

=== wl.feed-plain-http-anywhere plugin Wickerlamp/UpdateFeedFetcher.cpp
the update feed may come over plain http from any host
--- old
    return host == "localhost" || host == "127.0.0.1" || host == "[::1]" || host == "::1";
--- new
    return true;

=== wl.feed-memory-unbounded plugin Wickerlamp/SimpleSparklerChecker.cpp
entities in the update feed may expand without a bound
--- old
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser.get(), 2.0f);
--- new
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser.get(), 1.0e9f);

=== wl.version-empty-pieces-count plugin Wickerlamp/SimpleSparklerChecker.cpp
an empty piece of a version ("1..2") moves the later pieces down in weight
--- old
            position += pieceLength > 0 ? 1 : 0;  // empty pieces are skipped
--- new
            position += 1;

=== wl.version-later-equal-wins plugin Wickerlamp/SimpleSparklerChecker.cpp
of two equally heavy versions in the feed the later one is reported
--- old
        if (!best || weight > bestWeight) {
--- new
        if (!best || weight >= bestWeight) {

=== wl.mode-button-not-observing plugin Wickerlamp/ModeToggleButton.cpp
a mode button does not follow the parameter when it changes elsewhere
--- old
    const bool on = std::trunc(static_cast<double>(param->value.get())) == static_cast<double>(valueIndex);
--- new
    const bool on = std::trunc(static_cast<double>(param->value.peek())) == static_cast<double>(valueIndex);

=== wl.number-trailing-text plugin Wickerlamp/Extensions.cpp
a typed value with text after the number ("12abc") is taken as the number
--- old
    if (text.empty() || error != std::errc() || end != last || std::isnan(v))
--- new
    if (text.empty() || error != std::errc() || std::isnan(v))

=== wl.parameter-no-upper-clamp plugin Wickerlamp/AudioParameter.cpp
a parameter takes values above its maximum
--- old
    return c <= maximum ? c : maximum;
--- new
    return c;

=== wl.dial-display-scale-ignored plugin Wickerlamp/DialLabel.cpp
a typed value is not scaled from the shown unit to the parameter's
--- old
        const double scaled = *typed * static_cast<double>(param->displayScaleFactor());
--- new
        const double scaled = *typed;

=== wl.host-value-reapplied plugin Wickerlamp/AudioParameter.cpp
a value the host set off the message thread is applied again on every poll
--- old
    const std::uint64_t word = pending.exchange(0, std::memory_order_acquire);
--- new
    const std::uint64_t word = pending.load(std::memory_order_acquire);

=== wl.edit-not-protected plugin Wickerlamp/AudioParameter.cpp
host changes overwrite a value the user is editing
--- old
    if (isBeingInteractivelyEdited.peek() && source != ParameterEditor::ui) {
--- new
    if (false) {

=== wl.header-update-text plugin Wickerlamp/PluginHeaderView.cpp
the header's update notice is not in capitals ("1.2 Available")
--- old
        update.setButtonText((juce::String::fromUTF8(details->newVersion.c_str()) + " Available").toUpperCase());
--- new
        update.setButtonText(juce::String::fromUTF8(details->newVersion.c_str()) + " Available");

=== wl.header-tab-colours-swapped plugin Wickerlamp/PluginHeaderView.cpp
the selected tab is drawn in the unselected colour and the other way round
--- old
selected == static_cast<float>(i) ? "tabSelected" : "tabUnselected"
--- new
selected == static_cast<float>(i) ? "tabUnselected" : "tabSelected"

=== ui.column-width plugin ui/RecordingDetailsView.h
the CHANNEL column of the event table is too narrow for its heading
--- old
{"CHANNEL", 60}
--- new
{"CHANNEL", 40}

=== ui.time-truncated plugin ui/RecordingDetailsView.cpp
the TIME column shows the tick below the position, not the nearest one the exported file has
--- old
    const double ticks = Corvel::MidiFileWriter::nearestTick(b);
--- new
    const double ticks = std::floor(b * 480.0);

=== ui.time-sixteenth-from-zero plugin ui/RecordingDetailsView.cpp
the TIME column counts sixteenths from 0
--- old
inBar % 480 / 120 + 1,
--- new
inBar % 480 / 120,

=== ui.channel-from-zero plugin ui/RecordingDetailsView.cpp
the CHANNEL column counts channels from 0
--- old
    case 3: return shown.channel ? juce::String(e.channel + 1) : "-";
--- new
    case 3: return shown.channel ? juce::String(e.channel) : "-";

=== ui.table-part-rows plugin ui/RecordingDetailsView.cpp
the event table is not a whole number of rows tall
--- old
    area.setHeight(headerHeight + std::max(0, area.getHeight() - headerHeight) / rowHeight * rowHeight);
--- new

=== ui.chord-colour-minor plugin ui/NoteDetailRow.cpp
a minor chord lights its keys green instead of blue
--- old
    case Corvel::ChordQuality::minor: return {"blueText", "blueBorder", PianoColor::blue};
--- new
    case Corvel::ChordQuality::minor: return {"blueText", "blueBorder", PianoColor::green};

=== ui.chord-rows-overflow plugin ui/ChordsAndScaleView.cpp
the chord-and-scale page shows one card more than it has room for
--- old
    if (scales.size() + chordRows < maximumRows)
--- new
    if (scales.size() + chordRows <= maximumRows)

=== ui.poll-recordings-flag-kept plugin ui/LiveViewModel.cpp
the view model reads the recordings flag without clearing it, so it refreshes on every poll
--- old
    if (kernel.recordingsChanged.exchange(0, std::memory_order_acquire) != 0 && readsRowsFrom(*au))
--- new
    if (kernel.recordingsChanged.load(std::memory_order_acquire) != 0 && readsRowsFrom(*au))

=== ui.poll-live-flag-lost plugin ui/LiveViewModel.cpp
the view model never looks at the live-recording flag, so held notes and counts stand still
--- old
    if (kernel.liveRecordingChanged.exchange(0, std::memory_order_acquire) != 0)
--- new
    if (false)

=== ui.stopped-live-state-shown plugin ui/LiveViewModel.cpp
while stopped the newest card takes the kernel's -1 event count and duration
--- old
    if (summaries.empty() || !(duration > 0.0 && count >= 1))
--- new
    if (summaries.empty())

=== ui.selection-follows-oldest plugin ui/LiveViewModel.cpp
a new take selects the oldest card instead of the newest
--- old
    selection.set(shown.empty() ? std::nullopt : std::optional(shown.front()->originalStartTime));
--- new
    selection.set(shown.empty() ? std::nullopt : std::optional(shown.back()->originalStartTime));

=== ui.rows-of-another-take plugin ui/LiveViewModel.cpp
rows shown for one take are reused for another take of the same length
--- old
    if (rows.empty() || rows.recordingStartTime() != startTime || rows.size() > events.size())
--- new
    if (rows.empty() || rows.size() > events.size())

=== ui.drag-failure-line-missing plugin ui/DragToSaveImage.cpp
a failed write prints no "Failed to save MIDI file:" line
--- old
        failed(why);
        return juce::Result::fail(why);
--- new
        return juce::Result::fail(why);

=== ui.drag-failure-as-success plugin ui/DragToSaveImage.cpp
a file that could not be written is still handed to the drag
--- old
    if (writeMidiFile(*bytes, file).failed())
        return std::nullopt;
--- new
    (void)writeMidiFile(*bytes, file);

=== ui.save-dialog-tempo-ignored plugin ui/MidiFileSaveDialog.cpp
the save dialog's "with tempo" option is ignored
--- old
withTempo ? tempo : plain
--- new
plain

=== ui.takes-notice-when-all-kept plugin ui/TakesMenu.cpp
the menu says takes were left out when every take was kept
--- old
    if (saved.kept >= saved.inUse)
--- new
    if (saved.kept > saved.inUse)

=== ui.clock-ignores-locale plugin ui/RecordingSummaryRow.cpp
the cards' start times are always in the 24-hour clock
--- old
strftime_l(text, sizeof text, "%X", &local, time);
--- new
strftime_l(text, sizeof text, "%H:%M:%S", &local, time);

=== ui.strip-top-key-dark plugin ui/KeyboardStrip.cpp
the keyboard strip never lights its top white key
--- old
            if (whiteIndex <= lastWhiteIndex)
--- new
            if (whiteIndex < lastWhiteIndex)

=== ui.strip-black-keys-octave-off plugin ui/KeyboardStrip.cpp
the keyboard strip lights black keys an octave too high
--- old
            const int octave = note / 12 - 2;
--- new
            const int octave = note / 12 - 1;

=== wl.feed-readings-copied plugin Wickerlamp/SimpleSparklerChecker.cpp
every repeated reading of a version element keeps its own copy of the text, so memory grows with the square of the feed
--- old
        versions.addLonger(value.substr(valueRead));
--- new
        versions.add(value);

=== app.loop-wrap-off-by-one app app/HostTransport.cpp
a loop end that falls on the last sample of a block is passed over
--- old
        if (untilWrap <= remaining) {
--- new
        if (untilWrap < remaining) {

=== app.loop-bars-unclamped app app/HostTransport.cpp
the loop length takes any number of bars, 0 and negative included
--- old
    bars = std::clamp(newBars, 1, maximumLoopBars);
--- new
    bars = newBars;

=== app.tempo-change-jumps app app/HostTransport.cpp
a tempo change moves the position instead of going on from it
--- old
    jumpTo(samples, positionInBeats());  // re-anchor: the timeline does not move
--- new

=== app.loop-shortened-past-end app app/HostTransport.cpp
a loop shortened (or switched on) past the position plays on instead of going back to its start
--- old
    if (playing && looping && positionInBeats() >= loopEnd)
        jumpTo(0, 0.0);  // the loop was shortened or switched on past its end
--- new

=== app.stopped-timeline-moves app app/HostTransport.cpp
a stopped transport keeps moving
--- old
        return segment;  // a stopped timeline stands still
--- new
        {}

=== app.return-to-start-repeats app app/LiveHost.cpp
Return to start is never taken as done, so the timeline jumps back on every block
--- old
    if (jumps) {
        transport.returnToStart();
        returnsSeen = returns;
    }
--- new
    if (jumps)
        transport.returnToStart();

=== app.file-end-keeps-playing app app/LiveHost.cpp
the end of a file (Loop off) does not stop the transport
--- old
            wantPlaying.store(false);  // the end of the file stops the transport
--- new

=== app.bars-after-meter-change app app/BarGrid.cpp
a time signature that changes on a bar line starts a bar late
--- old
        const double bars = std::ceil((s.beats - last.start) / last.barLength - tolerance);
--- new
        const double bars = std::floor((s.beats - last.start) / last.barLength + tolerance) + 1.0;

=== app.file-tempo-change-mid-block app app/FilePlayer.cpp
a tempo change inside a block does not end the stretch, so what follows it plays at the old tempo
--- old
    if (boundary != tempoBoundaries.end())
        end = std::min(end, *boundary);
--- new

=== capture.loop-zero-accepted app tools/capture/main.cpp
--loop 0 is accepted
--- old
            const auto passes = numberIn(value(), 1, FilePlayer::maximumPasses);
--- new
            const auto passes = numberIn(value(), 0, FilePlayer::maximumPasses);

=== capture.ignore-channel-off-by-one app tools/capture/main.cpp
--ignore-channel leaves out the channel after the one named
--- old
            options.session.ignoredChannel = *channel - 1;
--- new
            options.session.ignoredChannel = *channel;

=== capture.with-tempo-ignored app tools/capture/main.cpp
--with-tempo writes the files without the tempo
--- old
            options.session.file.withTempo = true;
--- new
            options.session.file.withTempo = false;

=== capture.chord-printed-twice app tools/capture/CaptureSession.cpp
the same chord is printed again when it is struck again
--- old
            if (!chord.empty() && chord != lastPrinted) {
--- new
            if (!chord.empty()) {

=== capture.take-saved-twice app tools/capture/CaptureSession.cpp
a pass that began no take of its own writes the previous take again
--- old
        return live.startTime == 0 || live.startTime == lastSaved
--- new
        return live.startTime == 0
__FAULTS__
