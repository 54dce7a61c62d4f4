# shellcheck shell=bash disable=SC2154 # $work, $tarvex, $shard, $single_seconds: the caller's
# The helpers that scripts/shard-test and scripts/multihost-test share (sourced, not run): the
# report of each check, installing what is missing, and the byte-for-byte comparison of a sharded
# search with the single tarvex run. They use $work (a scratch directory), $tarvex and $shard
# (the programs under test) and count the failed checks in $failures.

failures=0
note() { printf '%s\n' "$*"; }
bad() {
  printf 'FAIL: %s\n' "$*"
  failures=$((failures + 1))
}

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

installMissing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  if ((${#missing[@]} > 0)); then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

# Runs the single search "$@" once with the report on standard output and once in a file,
# keeping everything it writes below $work/single/.
single() {
  rm -rf "$work/single" && mkdir "$work/single"
  local status=0
  "$tarvex" "$@" >"$work/single/stdout" 2>"$work/single/stderr" || status=$?
  echo "$status" >"$work/single/status"
  status=0
  "$tarvex" "$@" --outfile="$work/single/report" >"$work/single/file.stdout" \
    2>"$work/single/file.stderr" || status=$?
  echo "$status" >"$work/single/file.status"
}

# Runs tarvex-shard with shard options $1 (words) on the search "${@:2}" the same two ways and
# compares everything with the single run's.
sharded() {
  local label=$1 shard_options=$2
  shift 2
  rm -rf "$work/sharded" && mkdir "$work/sharded"
  local status=0
  # shellcheck disable=SC2086 # the shard options are words
  "$shard" $shard_options "$@" >"$work/sharded/stdout" 2>"$work/sharded/stderr" || status=$?
  echo "$status" >"$work/sharded/status"
  status=0
  # shellcheck disable=SC2086
  "$shard" $shard_options "$@" --outfile="$work/sharded/report" >"$work/sharded/file.stdout" \
    2>"$work/sharded/file.stderr" || status=$?
  echo "$status" >"$work/sharded/file.status"
  local file same=1
  for file in stdout stderr status report file.stdout file.stderr file.status; do
    [[ -e $work/single/$file || -e $work/sharded/$file ]] || continue # neither wrote it
    if ! cmp -s "$work/single/$file" "$work/sharded/$file"; then
      bad "$label: $file differs from the single run's ($*)"
      diff "$work/single/$file" "$work/sharded/$file" | head -n 5 || true
      same=0
    fi
  done
  ((same)) && note "ok   $label: status $(cat "$work/single/status")," \
    "$(wc -c <"$work/single/stdout") bytes of output, $(wc -c <"$work/single/stderr") of messages"
  return 0
}

compareBoth() {
  local label=$1 shard_options=$2
  shift 2
  single "$@"
  sharded "$label" "$shard_options" "$@"
}

# Starts munged unless one answers already, noting its process id in started_pids.
startMunge() {
  $sudo mkdir -p /run/munge /var/log/munge /var/lib/munge
  $sudo chown munge:munge /run/munge /var/log/munge /var/lib/munge
  if [[ ! -f /etc/munge/munge.key ]]; then
    $sudo mungekey --create 2>/dev/null || $sudo create-munge-key -f
    $sudo chown munge:munge /etc/munge/munge.key
  fi
  if ! munge -n 2>/dev/null | unmunge >/dev/null 2>&1; then
    $sudo runuser -u munge -- /usr/sbin/munged
    waitForPidFile /run/munge/munged.pid
  fi
}

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

# The wall time of the sharded search "${@:3}" with shard options $2 (words), the median of
# three runs, printed with what it adds per day to the single run's time in $single_seconds
# over $1 days. Measured only: nothing is asserted on it.
secondsOf() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || true
  awk -v end="$EPOCHREALTIME" -v start="$start" 'BEGIN { print end - start }'
}
medianSeconds() {
  local times=()
  for _ in 1 2 3; do times+=("$(secondsOf "$@")"); done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}
timeSharded() {
  local label=$1 days=$2 shard_options=$3
  shift 3
  local seconds
  # shellcheck disable=SC2086 # the shard options are words
  seconds=$(medianSeconds "$shard" $shard_options "$@")
  awk -v label="$label:" -v t="$seconds" -v single="$single_seconds" -v days="$days" \
    'BEGIN { printf "time %-46s %6.2f s, %6.3f s per day over the single run\n", label, t,
             (t - single) / days }'
}
