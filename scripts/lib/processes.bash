# shellcheck shell=bash
# The processes a test script starts and must stop at its end, whatever happened: the daemons
# it notes in started_pids, and process groups it kills to the last one.
# shellcheck source=scripts/lib/sudo.bash
source "${BASH_SOURCE[0]%/*}/sudo.bash"

started_pids=() # daemons this script started, stopped by stopStartedProcesses

# Waits for a daemon just started to write its pid file, and notes the pid for the end.
waitForPidFile() {
  for _ in $(seq 50); do
    if [[ -s $1 ]]; then
      started_pids+=("$(cat "$1")")
      return 0
    fi
    sleep 0.1
  done
  echo "no pid file $1" >&2
  return 1
}

# Sends SIGTERM to every process of started_pids and waits up to ten seconds for each to end:
# a daemon that still holds its port or pid file would trouble the next run.
stopStartedProcesses() {
  local pid
  for pid in "${started_pids[@]}"; do $sudo kill "$pid" 2>/dev/null || true; done
  for pid in "${started_pids[@]}"; do
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  done
}

# Kills with SIGKILL the processes that the command "$@" lists (one process id a word), again
# while it lists any, since a process may start another before it dies; gives up after ten
# seconds and fails then.
killUntilGone() {
  local victims
  for _ in $(seq 100); do
    victims=$("$@")
    [[ -z $victims ]] && return 0
    # shellcheck disable=SC2086 # one word per process id
    kill -KILL $victims 2>/dev/null || true
    sleep 0.1
  done
  return 1
}
