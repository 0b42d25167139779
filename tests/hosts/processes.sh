# Background processes of a host test, sourced by the scripts here. Each process runs under
# `timeout --foreground -k` capped at LIFETIME seconds (which reaps what it kills), so none
# outlives the test even if the script is killed outright; stop_all stops them by PID, newest
# first. Needs: LIFETIME, work (the test's scratch folder), server (the private JACK server).

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

start() { # LOG SIGNAL COMMAND...: runs COMMAND in the background, capped at LIFETIME seconds;
  # SIGNAL is the one it shuts down cleanly on.
  local log=$1 sig=$2
  shift 2
  timeout --foreground -k 2 "$LIFETIME" "$@" >"$work/$log.out" 2>"$work/$log.err" </dev/null &
  last_pid=$!
  pids+=("$last_pid")
  names+=("$1 [$log]")
  stop_signals+=("$sig")
}

all_running() { # dies if any started process has already exited
  local i
  for ((i = 0; i < ${#pids[@]}; i++)); do
    [ -n "${reaped[${pids[i]}]:-}" ] && continue
    kill -0 "${pids[i]}" 2>/dev/null || die "${names[i]} exited early"
  done
}
