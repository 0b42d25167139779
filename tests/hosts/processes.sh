# Background processes of a host test, sourced by the scripts here. Each process runs under
# `timeout --foreground -k` capped at LIFETIME seconds (which reaps what it kills), so none
# outlives the test even if the script is killed outright; stop_all stops them by PID, newest
# first. Needs: LIFETIME and STEP_TIMEOUT; private_session sets work and server.

pids=()         # started processes (the timeout wrappers), in start order
names=()        # what each one is
stop_signals=() # how each one is asked to stop
declare -A reaped=() # PIDs already waited for: never signal those again, the number may be reused

stop_pid() { # PID SIGNAL
  [ -n "${reaped[$1]:-}" ] && return 0
  # Not yet waited for, so the PID is still ours even if the process has exited.
  kill "-$2" "$1" 2>/dev/null
  # timeout passes the signal on and sends SIGKILL 2 s later if needed, so this wait is bounded.
  wait "$1" 2>/dev/null
  reaped[$1]=1
}

stop_all() { # clients first, the server (and display) last; then the scratch folder
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}" "${stop_signals[i]}"
  done
  # A server that had to be killed leaves its named semaphores and segments behind.
  rm -f /dev/shm/jack_sem.*_"${server}"_* /dev/shm/jack_"${server}"_* 2>/dev/null
  rm -rf "$work"
}

started() { pids+=("$1") names+=("$2") stop_signals+=("$3"); } # PID WHAT SIGNAL

start() { # LOG SIGNAL COMMAND...: runs COMMAND in the background, capped at LIFETIME seconds;
  # SIGNAL is the one it shuts down cleanly on.
  local log=$1 sig=$2
  shift 2
  timeout --foreground -k 2 "$LIFETIME" "$@" >"$work/$log.out" 2>"$work/$log.err" </dev/null &
  last_pid=$!
  started "$last_pid" "$1 [$log]" "$sig"
}

all_running() { # dies if any started process has already exited
  local i
  for ((i = 0; i < ${#pids[@]}; i++)); do
    [ -n "${reaped[${pids[i]}]:-}" ] && continue
    kill -0 "${pids[i]}" 2>/dev/null || die "${names[i]} exited early"
  done
}

require() { # TOOL...: fails unless every TOOL is on the PATH
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool not found (tools/install-deps.sh installs it)"; exit 1; }
  done
}

die() { # MESSAGE...: fails with the logs of what was started (and what `more_diagnostics` adds)
  echo "FAIL: $*"
  echo "===== diagnostics"
  declare -F more_diagnostics >/dev/null && more_diagnostics
  local f
  for f in "$work"/*.out "$work"/*.err; do
    [ -s "$f" ] && { echo "----- ${f##*/} (last 30 lines, without JACK's xrun reports)"; grep -v 'XRun' "$f" | tail -n 30; }
  done
  exit 1
}

lv2_path() { LV2_PATH=$(cd "$(dirname "$1")" && pwd) || exit 2; export LV2_PATH; } # BUNDLE: its folder alone

x() { timeout --foreground -k 1 10 "$@"; } # an X or JACK client, bounded in time

private_session() { # PREFIX: a scratch folder, a private JACK server name and home, nothing from the caller's session
  server="$1-$$-$RANDOM"
  export JACK_DEFAULT_SERVER=$server JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
  unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX") || exit 2
  trap stop_all EXIT
  trap 'exit 130' INT TERM HUP
  export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share"
  mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR" || exit 2
  export GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
}

start_jack() { # RATE PERIOD: the private server, dummy back end, no realtime scheduling, synchronous
  # mode (a slow client delays the cycle instead of missing it on a busy machine)
  start jackd TERM jackd -n "$server" -r -S -d dummy -r "$1" -p "$2" -C 0 -P 0
  timeout --foreground -k 1 $((STEP_TIMEOUT + 2)) jack_wait -s "$server" -w -t "$STEP_TIMEOUT" >/dev/null 2>&1 ||
    die "JACK server $server did not come up"
}

start_transport() { # jack_transport as timebase master at 120 BPM, rolling, reading commands from a FIFO
  mkfifo "$work/transport.fifo" && exec {transport_fd}<>"$work/transport.fifo" || die "mkfifo failed"
  timeout --foreground -k 2 "$LIFETIME" jack_transport <"$work/transport.fifo" >"$work/transport.out" 2>&1 &
  started $! jack_transport TERM
  printf 'master\ntempo 120\nplay\n' 1>&"$transport_fd"
}

wait_for() { # WHAT COMMAND...: polls COMMAND until it succeeds, within STEP_TIMEOUT seconds
  local what=$1 deadline=$((SECONDS + STEP_TIMEOUT))
  shift
  until "$@"; do
    all_running
    ((SECONDS < deadline)) || die "$what: not within ${STEP_TIMEOUT}s"
    sleep 0.25
  done
}

start_display() { # [WIDTHxHEIGHT]: a private Xvfb display for local clients only, 96 dpi, picked by Xvfb itself; sets DISPLAY
  timeout --foreground -k 2 "$LIFETIME" Xvfb -displayfd 3 -nolisten tcp -screen 0 "${1:-1600x1000}x24" -dpi 96 \
    3>"$work/display" >"$work/xvfb.out" 2>"$work/xvfb.err" </dev/null &
  started $! Xvfb TERM
  wait_for "Xvfb reports a display" grep -qE '^[0-9]+$' "$work/display"
  export DISPLAY=":$(head -n 1 "$work/display")"
}
